// Uses only the installed headers: a typed function, the catalogue with its
// help, and whole columns.
#include <vantrel/vantrel.h>

#include <cstdio>
#include <string>
#include <vector>

int main() {
    const double direct = vantrel::counting::FlippingRatio(1000, 200, 300, 150);
    const vantrel::CatalogueEntry* entry = vantrel::FindFunction("flipping_ratio");
    if (entry == nullptr) return 1;
    const double viaCatalogue = vantrel::Evaluate(*entry, std::vector<double>{1000, 200, 300, 150});
    std::printf("%zu %.*s = %.17g %.17g\n", vantrel::IndexOf(*entry),
                static_cast<int>(entry->signature.size()), entry->signature.data(), direct,
                viaCatalogue);

    const double N[] = {1000, 2000, 3000}, t[] = {50, 50, 0};
    const double* columns[] = {N, t};
    double rate[3];
    if (!vantrel::EvaluateBatch(*vantrel::FindFunction("CountRate"), columns, rate)) return 1;
    std::printf("%g %g %g\n", rate[0], rate[1], rate[2]);
    const std::string help = vantrel::HelpText(*vantrel::FindFunction("He3Transmission"));
    std::printf("%s", help.substr(0, help.find('\n') + 1).c_str());
    std::size_t exported = 0;
    for (const vantrel::CatalogueEntry& e : vantrel::Catalogue()) exported += e.exported ? 1 : 0;
    return direct == viaCatalogue && exported == 46 ? 0 : 1;
}
