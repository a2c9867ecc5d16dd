// Lookups per second on one catalogue of a few thousand messages and on the program's own
// catalogues: the layer's reader on the mapped file against the C library's dgettext, hits and
// misses, in one run. Prints ns per
// lookup (median of several rounds) and the ratio dgettext / reader (above 1: the reader is
// faster).
#include <fcntl.h>
#include <libintl.h>
#include <locale.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "i18n/catalogue_reader.h"

namespace {

constexpr const char* kDomain = "keypilot_bench";
constexpr int kRounds = 7;
constexpr int kPasses = 200;

std::vector<std::string> makeKeys(bool hits) {
    std::vector<std::string> keys;
    keys.reserve(KEYPILOT_BENCH_COUNT);
    for (int i = 0; i < KEYPILOT_BENCH_COUNT; ++i) {
        keys.push_back((hits ? "Settings window message " : "Settings window notice ") +
                       std::to_string(i) + ": choose the port and the cursor speed");
    }
    std::shuffle(keys.begin(), keys.end(), std::mt19937(12345));
    return keys;
}

// ns per lookup over kPasses passes through the keys; sink keeps the results alive.
template <class Lookup>
double timeLookups(const std::vector<const char*>& keys, Lookup lookup, std::size_t& sink,
                   int passes) {
    auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < passes; ++pass) {
        for (const char* key : keys) {
            sink += lookup(key);
        }
    }
    std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / (static_cast<double>(keys.size()) * passes);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The keys of a catalogue file as msgfmt wrote it (little-endian, the tables inside the file).
std::vector<std::string> keysOf(const unsigned char* bytes, std::size_t size) {
    auto word = [&](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, bytes + at, 4);
        return v;
    };
    std::vector<std::string> keys;
    std::uint32_t n = word(8), table = word(12);
    for (std::uint32_t i = 0; i < n && table + 8 * i + 8 <= size; ++i) {
        std::uint32_t length = word(table + 8 * i), start = word(table + 8 * i + 4);
        if (length > 0 && start + length <= size) {
            keys.emplace_back(reinterpret_cast<const char*>(bytes) + start, length);
        }
    }
    return keys;
}

// Times the reader and dgettext on one catalogue, locale/de/LC_MESSAGES/<domain>.mo; hitKeys
// empty: the catalogue's own keys, with as many misses made from them.
int benchCatalogue(const std::string& root, const char* domain, std::vector<std::string> hitKeys,
                   std::vector<std::string> missKeys, int passes) {
    const std::string file = root + "/de/LC_MESSAGES/" + domain + ".mo";
    int fd = open(file.c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        std::fprintf(stderr, "cannot open %s\n", file.c_str());
        return 1;
    }
    void* view = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (view == MAP_FAILED) {
        return 1;
    }
    const auto* bytes = static_cast<const unsigned char*>(view);
    const auto size = static_cast<std::size_t>(st.st_size);
    i18n::CatalogueReader reader;
    if (!reader.open(bytes, size) || !reader.intact()) {
        std::fprintf(stderr, "%s is no whole catalogue\n", file.c_str());
        return 1;
    }
    if (hitKeys.empty()) {
        hitKeys = keysOf(bytes, size);
        for (const auto& k : hitKeys) {
            missKeys.push_back(k + " (not there)");
        }
    }
    bindtextdomain(domain, root.c_str());
    bind_textdomain_codeset(domain, "UTF-8");
    std::vector<const char*> hits, misses;
    for (const auto& k : hitKeys) {
        hits.push_back(k.c_str());
    }
    for (const auto& k : missKeys) {
        misses.push_back(k.c_str());
    }

    // Both sides must agree before their speed means anything.
    for (const char* key : hits) {
        auto ours = reader.find(key);
        const char* theirs = dgettext(domain, key);
        if (!ours || *ours != theirs) {
            std::fprintf(stderr, "disagreement on \"%s\" (is dgettext finding the catalogue?)\n",
                         key);
            return 1;
        }
    }
    for (const char* key : misses) {
        if (reader.find(key) || dgettext(domain, key) != key) {
            std::fprintf(stderr, "a miss was found: \"%s\"\n", key);
            return 1;
        }
    }

    auto ourLookup = [&reader](const char* key) -> std::size_t {
        auto found = reader.find(std::string_view(key));
        return found ? found->size() : 1;
    };
    auto libcLookup = [domain](const char* key) -> std::size_t {
        return reinterpret_cast<std::uintptr_t>(dgettext(domain, key)) & 1;
    };

    std::size_t sink = 0;
    std::vector<double> ourHits, libcHits, ourMisses, libcMisses;
    for (int round = 0; round < kRounds; ++round) {
        ourHits.push_back(timeLookups(hits, ourLookup, sink, passes));
        libcHits.push_back(timeLookups(hits, libcLookup, sink, passes));
        ourMisses.push_back(timeLookups(misses, ourLookup, sink, passes));
        libcMisses.push_back(timeLookups(misses, libcLookup, sink, passes));
    }
    std::printf("\ncatalogue: %s (%u entries, %lld bytes)\n", file.c_str(), reader.entryCount(),
                static_cast<long long>(st.st_size));
    std::printf("median of %d rounds, %d passes over %zu keys each\n", kRounds, passes,
                hits.size());
    std::printf("%-8s %14s %14s %8s\n", "", "reader ns", "dgettext ns", "ratio");
    std::printf("%-8s %14.1f %14.1f %8.2f\n", "hits", median(ourHits), median(libcHits),
                median(libcHits) / median(ourHits));
    std::printf("%-8s %14.1f %14.1f %8.2f\n", "misses", median(ourMisses), median(libcMisses),
                median(libcMisses) / median(ourMisses));
    std::printf("(checksum %zu)\n", sink);
    munmap(view, size);
    return 0;
}

}  // namespace

// The synthetic catalogue of a few thousand messages, then the program's own catalogues (copied
// under domain names of their own, so that one LANGUAGE serves them all).
int main() {
    const std::string root = KEYPILOT_BENCH_LOCALE_DIR;
    setlocale(LC_ALL, "C.UTF-8");
    setenv("LANGUAGE", "de", 1);
    int status = benchCatalogue(root, kDomain, makeKeys(true), makeKeys(false), kPasses);
    for (const char* domain : {"real_en_default", "real_ru_default", "real_ru_serial"}) {
        status |= benchCatalogue(root, domain, {}, {}, kPasses * 100);
    }
    return status;
}
