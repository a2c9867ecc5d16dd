// Copies an executable and appends message catalogues to the copy, so that the program finds
// them inside itself instead of beside it:
//
//   embed_catalogues <program.exe> <copy.exe> <name>=<catalogue.mo> ...
//
// <name> is the catalogue's path relative to the program's directory, for example
// locale\de\LC_MESSAGES\default.mo ("/" is accepted and stored as "\").
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "i18n/embedded_index.h"

namespace {

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "embed_catalogues: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: embed_catalogues <program.exe> <copy.exe> <name>=<catalogue.mo> ...\n"
                     "  name: path relative to the program's directory, e.g. "
                     "locale\\de\\LC_MESSAGES\\default.mo\n");
        return 2;
    }
    const std::string input = argv[1];
    const std::string output = argv[2];
    std::error_code ignored;
    const auto permissions = std::filesystem::status(input, ignored).permissions();
    auto executable = readWholeFile(input);
    if (!executable) {
        return fail("cannot read " + input);
    }

    std::vector<i18n::CatalogueToEmbed> items;
    for (int i = 3; i < argc; ++i) {
        std::string argument = argv[i];
        auto equals = argument.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == argument.size()) {
            return fail("expected <name>=<catalogue file>, got: " + argument);
        }
        i18n::CatalogueToEmbed item;
        item.name = argument.substr(0, equals);
        std::replace(item.name.begin(), item.name.end(), '/', '\\');
        const std::string file = argument.substr(equals + 1);
        auto bytes = readWholeFile(file);
        if (!bytes) {
            return fail("cannot read " + file);
        }
        item.bytes = std::move(*bytes);
        items.push_back(std::move(item));
    }

    if (std::string error = i18n::embedCatalogues(*executable, items); !error.empty()) {
        return fail(input + ": " + error);
    }
    // The copy is written whole or not at all, so a failed run never leaves half a program.
    const std::string temporary = output + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(executable->data(), static_cast<std::streamsize>(executable->size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return fail("cannot write " + temporary);
        }
    }
    std::remove(output.c_str());
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::remove(temporary.c_str());
        return fail("cannot write " + output);
    }
    // The copy may be run like the program it copies.
    std::filesystem::permissions(output, permissions, ignored);
    return 0;
}
