// Reading a crystal structure from a CIF. This is the one file that includes
// the CIF parser and the space-group tables: they are heavy to compile, and
// the arithmetic of the structure factors needs none of them.
#include <gemmi/cif.hpp>
#include <gemmi/elem.hpp>
#include <gemmi/neutron92.hpp>
#include <gemmi/numb.hpp>
#include <gemmi/symmetry.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>

#include "magnetic/closest_names.h"
#include "vantrel/magnetic/crystal_structure.h"

namespace vantrel::magnetic {
namespace {

namespace cif = gemmi::cif;

// The nearest double to π, as std::numbers::pi holds it: this file is compiled
// as C++17, the newest standard the parser's headers build with under every
// compiler Vantrel uses.
constexpr double kPi = 3.141592653589793;

struct Refusal {
    std::string text;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool StartsWithFolded(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    }
    return true;
}

// The parser keeps the line of each loop but not of each value in it. Walk
// the loop's tokens in the text to find the value's own line; where the walk
// goes astray, the loop's line is still a fair place to look.
int ValueLine(std::string_view text, int loopLine, std::size_t tokenIndex) {
    std::size_t pos = 0;
    int line = 1;
    while (line < loopLine && pos < text.size()) {
        if (text[pos++] == '\n') ++line;
    }
    bool seenLoop = false;
    std::size_t count = 0;
    while (pos < text.size()) {
        const bool lineStart = pos == 0 || text[pos - 1] == '\n';
        const char c = text[pos];
        if (IsSpace(c)) {
            if (c == '\n') ++line;
            ++pos;
            continue;
        }
        if (c == '#') {
            while (pos < text.size() && text[pos] != '\n') ++pos;
            continue;
        }
        const int tokenLine = line;
        const std::size_t start = pos;
        if (c == ';' && lineStart) {
            const std::size_t end = text.find("\n;", pos + 1);
            if (end == std::string_view::npos) return loopLine;
            line += static_cast<int>(std::count(text.begin() + pos, text.begin() + end + 1, '\n'));
            pos = end + 2;
        } else if (c == '\'' || c == '"') {
            ++pos;
            while (pos < text.size() &&
                   !(text[pos] == c && (pos + 1 == text.size() || IsSpace(text[pos + 1])))) {
                if (text[pos] == '\n') return loopLine;
                ++pos;
            }
            ++pos;
        } else {
            while (pos < text.size() && !IsSpace(text[pos])) ++pos;
        }
        if (!seenLoop) {
            if (!StartsWithFolded(text.substr(start), "loop_")) return loopLine;
            seenLoop = true;
            continue;
        }
        if (count++ == tokenIndex) return tokenLine;
    }
    return loopLine;
}

std::string Quoted(const std::string& value) { return "'" + value + "'"; }

std::string Where(std::string_view source, int line) {
    return std::string(source) + ":" + std::to_string(line) + ": ";
}

// A tag of the block with its single value, or nullptr; the value of a tag
// in a loop of one row counts too, as some programs write the cell that way.
struct Pair {
    const std::string* value = nullptr;
    int line = 0;
};

Pair FindPair(cif::Block& block, const std::string& tag) {
    cif::Column column = block.find_values(tag);
    if (column.item() == nullptr || column.length() != 1) return {};
    return {&column.at(0), column.item()->line_number};
}

double Number(const Pair& pair, const std::string& tag, std::string_view source) {
    const double x = cif::as_number(*pair.value);
    if (!std::isfinite(x)) {
        throw Refusal{Where(source, pair.line) + tag + " " + Quoted(*pair.value) +
                      " is not a number"};
    }
    return x;
}

std::array<double, 6> ReadCell(cif::Block& block, std::string_view source) {
    static const char* const tags[] = {"_cell_length_a",   "_cell_length_b",
                                       "_cell_length_c",   "_cell_angle_alpha",
                                       "_cell_angle_beta", "_cell_angle_gamma"};
    std::array<double, 6> cell{};
    for (int i = 0; i < 6; ++i) {
        const Pair pair = FindPair(block, tags[i]);
        if (pair.value == nullptr || cif::is_null(*pair.value)) {
            throw Refusal{std::string(source) + ": data_" + block.name + " has no " + tags[i] +
                          ": a structure needs its whole cell"};
        }
        cell[i] = Number(pair, tags[i], source);
        const bool good = i < 3 ? cell[i] > 0 : cell[i] > 0 && cell[i] < 180;
        if (!good) {
            throw Refusal{Where(source, pair.line) + tags[i] + " " + Quoted(*pair.value) +
                          (i < 3 ? " is not a length" : " is not an angle of a cell")};
        }
    }
    // The squared volume over (abc)²: zero for a flat cell, negative for angles no cell has.
    const double d = kPi / 180.0;
    const double ca = std::cos(cell[3] * d), cb = std::cos(cell[4] * d), cg = std::cos(cell[5] * d);
    const double volume2 = 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg;
    if (!(volume2 > 1e-10)) {
        throw Refusal{std::string(source) + ": the cell of data_" + block.name +
                      " has angles no cell has, or none of volume"};
    }
    return cell;
}

std::vector<gemmi::Op> CompleteGroup(const std::vector<gemmi::Op>& listed) {
    gemmi::GroupOps group = gemmi::split_centering_vectors(listed);
    group.add_missing_elements();
    return group.all_ops_sorted();
}

// The operations listed in the CIF (completed to a group where some are
// missing), or those of its Hermann–Mauguin or Hall symbol, or of its number.
std::vector<gemmi::Op> ReadOperations(cif::Block& block, const std::array<double, 6>& cell,
                                      std::string_view text, std::string_view source,
                                      std::string& name) {
    for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
        cif::Column column = block.find_values(tag);
        if (column.item() == nullptr) continue;
        std::vector<gemmi::Op> listed;
        for (int i = 0; i < column.length(); ++i) {
            const std::string triplet = cif::as_string(column.at(i));
            try {
                listed.push_back(gemmi::parse_triplet(triplet));
            } catch (const std::exception&) {
                const cif::Loop* loop = column.get_loop();
                const int line =
                    loop == nullptr
                        ? column.item()->line_number
                        : ValueLine(
                              text, column.item()->line_number,
                              loop->tags.size() * (1 + static_cast<std::size_t>(i)) + column.col());
                throw Refusal{Where(source, line) + tag + " " + Quoted(triplet) +
                              " is not a symmetry operation"};
            }
        }
        if (listed.empty()) continue;
        name = "from its operations";
        return CompleteGroup(listed);
    }
    const double alpha = cell[3], gamma = cell[5];
    for (const char* tag : {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M"}) {
        const Pair pair = FindPair(block, tag);
        if (pair.value == nullptr || cif::is_null(*pair.value)) continue;
        name = cif::as_string(*pair.value);
        const gemmi::SpaceGroup* group = gemmi::find_spacegroup_by_name(name, alpha, gamma);
        if (group == nullptr) {
            throw Refusal{Where(source, pair.line) + tag + " " + Quoted(name) +
                          " is not a Hermann–Mauguin symbol of a space group"};
        }
        return group->operations().all_ops_sorted();
    }
    for (const char* tag : {"_space_group_name_Hall", "_symmetry_space_group_name_Hall"}) {
        const Pair pair = FindPair(block, tag);
        if (pair.value == nullptr || cif::is_null(*pair.value)) continue;
        name = cif::as_string(*pair.value);
        try {
            return gemmi::symops_from_hall(name.c_str()).all_ops_sorted();
        } catch (const std::exception&) {
            throw Refusal{Where(source, pair.line) + tag + " " + Quoted(name) +
                          " is not a Hall symbol"};
        }
    }
    for (const char* tag : {"_space_group_IT_number", "_symmetry_Int_Tables_number"}) {
        const Pair pair = FindPair(block, tag);
        if (pair.value == nullptr || cif::is_null(*pair.value)) continue;
        const double number = Number(pair, tag, source);
        const gemmi::SpaceGroup* group =
            number == std::floor(number) && number >= 1 && number <= 230
                ? gemmi::find_spacegroup_by_number(static_cast<int>(number))
                : nullptr;
        if (group == nullptr) {
            throw Refusal{Where(source, pair.line) + tag + " " + Quoted(*pair.value) +
                          " is not the number of a space group"};
        }
        name = group->xhm();
        return group->operations().all_ops_sorted();
    }
    throw Refusal{std::string(source) + ": data_" + block.name +
                  " gives no symmetry: neither _space_group_symop_operation_xyz, "
                  "_space_group_name_H-M_alt, _space_group_name_Hall nor _space_group_IT_number"};
}

SymmetryOperation Converted(const gemmi::Op& op) {
    SymmetryOperation out{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) out.rotation[i][j] = op.rot[i][j] / gemmi::Op::DEN;
        out.translation[i] = static_cast<double>(op.tran[i]) / gemmi::Op::DEN;
    }
    return out;
}

class SiteLoop {
public:
    SiteLoop(cif::Block& block, std::string_view text, std::string_view source)
        : text_(text), source_(source) {
        cif::Column labels = block.find_values("_atom_site_label");
        loop_ = labels.get_loop();
        line_ = labels.item() == nullptr ? 0 : labels.item()->line_number;
        if (loop_ == nullptr && labels.item() != nullptr) {
            // One site written as pairs, as for an element's structure: a loop of one row.
            for (const cif::Item& item : block.items) {
                if (item.type != cif::ItemType::Pair) continue;
                const std::string& tag = item.pair[0];
                if (!StartsWithFolded(tag, "_atom_site_") ||
                    StartsWithFolded(tag, "_atom_site_aniso_")) {
                    continue;
                }
                pairs_.tags.push_back(tag);
                pairs_.values.push_back(item.pair[1]);
                pairLines_.push_back(item.line_number);
            }
            loop_ = &pairs_;
        }
    }
    bool Found() const { return loop_ != nullptr; }
    std::size_t Rows() const { return loop_->length(); }
    int Column(const char* tag) const { return loop_->find_tag_lc(tag); }
    const std::string& Value(std::size_t row, int column) const {
        return loop_->val(row, static_cast<std::size_t>(column));
    }
    int Line(std::size_t row, int column) const {
        if (!pairLines_.empty()) return pairLines_[static_cast<std::size_t>(column)];
        return ValueLine(
            text_, line_,
            loop_->tags.size() + row * loop_->tags.size() + static_cast<std::size_t>(column));
    }
    // The number in a column, `absent` for a missing column or value, a
    // refusal naming the line, the item and the site for anything else.
    double Number(std::size_t row, int column, const char* tag, const std::string& label,
                  double absent) const {
        if (column < 0) return absent;
        const std::string& value = Value(row, column);
        if (cif::is_null(value)) return absent;
        const double x = cif::as_number(value);
        if (!std::isfinite(x)) {
            throw Refusal{Where(source_, Line(row, column)) + tag + " of site " + label + " " +
                          Quoted(value) + " is not a number"};
        }
        return x;
    }

private:
    const cif::Loop* loop_ = nullptr;
    cif::Loop pairs_;
    std::vector<int> pairLines_;
    std::string_view text_, source_;
    int line_ = 0;
};

std::vector<Site> ReadSites(cif::Block& block, std::string_view text, std::string_view source) {
    const SiteLoop loop(block, text, source);
    if (!loop.Found()) {
        throw Refusal{std::string(source) + ": data_" + block.name + " has no _atom_site_label"};
    }
    const int label = loop.Column("_atom_site_label");
    const int type = loop.Column("_atom_site_type_symbol");
    const int xyz[] = {loop.Column("_atom_site_fract_x"), loop.Column("_atom_site_fract_y"),
                       loop.Column("_atom_site_fract_z")};
    const char* const xyzTags[] = {"_atom_site_fract_x", "_atom_site_fract_y",
                                   "_atom_site_fract_z"};
    for (int i = 0; i < 3; ++i) {
        if (xyz[i] < 0) {
            throw Refusal{std::string(source) + ": the atom sites of data_" + block.name +
                          " have no " + xyzTags[i]};
        }
    }
    const int occupancy = loop.Column("_atom_site_occupancy");
    const int uIso = loop.Column("_atom_site_u_iso_or_equiv");
    const int bIso = loop.Column("_atom_site_b_iso_or_equiv");
    constexpr double kUToB = 8.0 * kPi * kPi;

    std::vector<Site> sites;
    for (std::size_t row = 0; row < loop.Rows(); ++row) {
        Site site;
        site.label = cif::as_string(loop.Value(row, label));
        site.line = loop.Line(row, label);
        for (int i = 0; i < 3; ++i) {
            if (cif::is_null(loop.Value(row, xyz[i]))) {
                throw Refusal{Where(source, loop.Line(row, xyz[i])) + xyzTags[i] + " of site " +
                              site.label + " is missing"};
            }
            site.position[i] = loop.Number(row, xyz[i], xyzTags[i], site.label, 0.0);
        }
        site.occupancy = loop.Number(row, occupancy, "_atom_site_occupancy", site.label, 1.0);
        if (site.occupancy < 0.0 || site.occupancy > 1.0) {
            throw Refusal{Where(source, loop.Line(row, occupancy)) +
                          "_atom_site_occupancy of site " + site.label + " " +
                          Quoted(loop.Value(row, occupancy)) + " is not within 0 … 1"};
        }
        if (uIso >= 0 && !cif::is_null(loop.Value(row, uIso))) {
            site.B = kUToB * loop.Number(row, uIso, "_atom_site_U_iso_or_equiv", site.label, 0.0);
        } else {
            site.B = loop.Number(row, bIso, "_atom_site_B_iso_or_equiv", site.label, 0.0);
        }
        const bool typed = type >= 0 && !cif::is_null(loop.Value(row, type));
        site.type = typed ? cif::as_string(loop.Value(row, type)) : site.label;
        // The element is the leading one or two letters: "Fe3+", "Fe1", "O2-".
        std::size_t letters = 0;
        while (letters < site.type.size() && letters < 2 &&
               std::isalpha(static_cast<unsigned char>(site.type[letters]))) {
            ++letters;
        }
        gemmi::El element = gemmi::El::X;
        for (std::size_t n = letters; n >= 1 && element == gemmi::El::X; --n) {
            element = gemmi::find_element(site.type.substr(0, n).c_str());
        }
        const int typeLine = typed ? loop.Line(row, type) : site.line;
        const char* typeTag = typed ? "_atom_site_type_symbol" : "_atom_site_label";
        if (element == gemmi::El::X) {
            throw Refusal{Where(source, typeLine) + typeTag + " " + Quoted(site.type) +
                          " of site " + site.label + " names no element"};
        }
        if (!gemmi::Neutron92<double>::has(element)) {
            throw Refusal{Where(source, typeLine) + "no bound coherent scattering length of " +
                          gemmi::element_name(element) + " (site " + site.label + ")"};
        }
        // The table holds femtometres; Vantrel's unit is 10⁻¹² cm = 10 fm.
        site.scatteringLength = gemmi::Neutron92<double>::get_(element) / 10.0;
        sites.push_back(site);
    }
    if (sites.empty()) {
        throw Refusal{std::string(source) + ": data_" + block.name + " has no atom sites"};
    }
    return sites;
}

CrystalStructure Read(std::string_view text, std::string_view source) {
    cif::Document document;
    try {
        document = cif::read_memory(text.data(), text.size(), std::string(source).c_str());
    } catch (const std::exception& e) {
        throw Refusal{e.what()};
    }
    auto block = std::find_if(document.blocks.begin(), document.blocks.end(),
                              [](cif::Block& b) { return b.has_tag("_atom_site_fract_x"); });
    if (block == document.blocks.end()) {
        throw Refusal{std::string(source) + ": no data block has atom sites (_atom_site_fract_x)"};
    }
    CrystalStructure structure;
    structure.name = block->name;
    structure.cell = ReadCell(*block, source);
    std::vector<gemmi::Op> operations =
        ReadOperations(*block, structure.cell, text, source, structure.spaceGroup);
    for (const gemmi::Op& op : operations) structure.operations.push_back(Converted(op));
    structure.sites = ReadSites(*block, text, source);
    for (std::size_t i = 0; i < structure.sites.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (structure.sites[i].label == structure.sites[j].label) {
                throw Refusal{Where(source, structure.sites[i].line) + "site label " +
                              structure.sites[i].label + " is given twice"};
            }
        }
    }
    return structure;
}

}  // namespace

CrystalStructureOutcome ReadCrystalStructure(std::string_view cif, std::string_view source) {
    CrystalStructureOutcome outcome;
    try {
        outcome.structure = Read(cif, source);
    } catch (const Refusal& refusal) {
        outcome.error = refusal.text;
    } catch (const std::exception& e) {
        outcome.error = std::string(source) + ": " + e.what();
    }
    return outcome;
}

CrystalStructureOutcome ReadCrystalStructureFile(const std::string& path, std::string* text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {std::nullopt, path + ": cannot be opened"};
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (text == nullptr) return ReadCrystalStructure(bytes.str(), path);
    *text = std::move(bytes).str();
    return ReadCrystalStructure(*text, path);
}

}  // namespace vantrel::magnetic
