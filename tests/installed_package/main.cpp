// Uses only the installed headers: a typed function and the catalogue.
#include <vantrel/vantrel.h>

#include <cstdio>
#include <vector>

int main() {
    const double direct = vantrel::counting::FlippingRatio(1000, 200, 300, 150);
    const vantrel::CatalogueEntry* entry = vantrel::FindFunction("FlippingRatio");
    if (entry == nullptr) return 1;
    const double viaCatalogue = vantrel::Evaluate(*entry, std::vector<double>{1000, 200, 300, 150});
    std::printf("%zu %.*s(%.*s) = %.17g %.17g\n", vantrel::IndexOf(*entry), static_cast<int>(entry->name.size()),
                entry->name.data(), static_cast<int>(entry->argumentList.size()), entry->argumentList.data(), direct,
                viaCatalogue);
    return direct == viaCatalogue && vantrel::Catalogue().size() == 46 ? 0 : 1;
}
