#include "i18n/catalogue_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "mo_builder.h"

namespace i18n {
namespace {

using testing::buildCatalogue;
using testing::ByteOrder;
using testing::MoEntry;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The bytes in a heap block of exactly their size, so the sanitizer sees any read past the end.
struct ExactBytes {
    explicit ExactBytes(const std::string& s)
        : size(s.size()), data(std::make_unique<unsigned char[]>(s.empty() ? 1 : s.size())) {
        std::copy(s.begin(), s.end(), data.get());
    }
    std::size_t size;
    std::unique_ptr<unsigned char[]> data;
};

std::string findOrKey(const CatalogueReader& reader, const std::string& key) {
    auto found = reader.find(key);
    return found ? std::string(*found) : key;
}

// Keys "k02", "k04", ... leave room for keys before, between and after them.
std::vector<MoEntry> evenKeys(int n) {
    std::vector<MoEntry> entries;
    for (int i = 1; i <= n; ++i) {
        char key[8];
        std::snprintf(key, sizeof key, "k%02d", 2 * i);
        entries.push_back({key, std::string("t") + key});
    }
    return entries;
}

TEST(CatalogueReader, FindsEveryKeyAndNoOtherForSmallAndLargerCatalogues) {
    for (int n : {1, 2, 3, 5, 8, 13, 16, 17, 31, 64, 100}) {
        ExactBytes bytes(buildCatalogue(evenKeys(n)));
        CatalogueReader reader;
        ASSERT_TRUE(reader.open(bytes.data.get(), bytes.size));
        EXPECT_EQ(reader.entryCount(), static_cast<std::uint32_t>(n));
        for (int i = 0; i <= 2 * n + 2; ++i) {
            char key[8];
            std::snprintf(key, sizeof key, "k%02d", i);
            auto found = reader.find(key);
            if (i % 2 == 0 && i >= 2 && i <= 2 * n) {
                ASSERT_TRUE(found) << "n=" << n << " key=" << key;
                EXPECT_EQ(*found, std::string("t") + key);
            } else {
                EXPECT_FALSE(found) << "n=" << n << " key=" << key;
            }
        }
        EXPECT_FALSE(reader.find("")) << n;
        EXPECT_FALSE(reader.find("k")) << n;     // a beginning of every key
        EXPECT_FALSE(reader.find("k020")) << n;  // longer than a key it begins with
        EXPECT_FALSE(reader.find("\xFF")) << n;  // after everything, unsigned order
    }
}

TEST(CatalogueReader, EmptyCatalogueAndForeignBytesFindNothing) {
    ExactBytes empty(buildCatalogue({}));
    CatalogueReader reader;
    ASSERT_TRUE(reader.open(empty.data.get(), empty.size));
    EXPECT_FALSE(reader.find(""));
    EXPECT_FALSE(reader.find("Cancel"));

    ExactBytes foreign(std::string("MZ\x90\0\3\0\0\0garbage that is no catalogue at all", 42));
    EXPECT_FALSE(reader.open(foreign.data.get(), foreign.size));
    EXPECT_FALSE(reader.find("MZ"));
    ExactBytes tooShort(std::string("\xDE\x12", 2));
    EXPECT_FALSE(reader.open(tooShort.data.get(), tooShort.size));
    EXPECT_FALSE(reader.open(nullptr, 0));
}

TEST(CatalogueReader, BigEndianTwinGivesTheSameTranslations) {
    std::vector<MoEntry> entries = {{"", "Content-Type: text/plain; charset=UTF-8\n"},
                                    {"Cancel", "Abbrechen"},
                                    {"Exit", "Beenden"},
                                    {"\xC3\xA4rger", "trouble"},
                                    {"Line\nbreak", "Zeile\nUmbruch"}};
    ExactBytes little(buildCatalogue(entries, ByteOrder::little));
    ExactBytes big(buildCatalogue(entries, ByteOrder::big));
    CatalogueReader a, b;
    ASSERT_TRUE(a.open(little.data.get(), little.size));
    ASSERT_TRUE(b.open(big.data.get(), big.size));
    EXPECT_FALSE(a.swapBytes());
    EXPECT_TRUE(b.swapBytes());
    for (const auto& e : entries) {
        ASSERT_TRUE(b.find(e.key)) << e.key;
        EXPECT_EQ(*b.find(e.key), *a.find(e.key));
        EXPECT_EQ(*b.find(e.key), e.translation);
    }
    EXPECT_FALSE(b.find("Zzz"));
}

TEST(CatalogueReader, ReadsCataloguesWrittenByMsgfmtInBothByteOrders) {
    std::string little = readFile(KEYPILOT_TEST_MO_DIR "/de_default.mo");
    std::string big = readFile(KEYPILOT_TEST_MO_DIR "/de_default_be.mo");
    ASSERT_NE(little, big);
    for (const std::string* file : {&little, &big}) {
        ExactBytes bytes(*file);
        CatalogueReader reader;
        ASSERT_TRUE(reader.open(bytes.data.get(), bytes.size));
        EXPECT_EQ(findOrKey(reader, "Cancel"), "Abbrechen");
        EXPECT_EQ(findOrKey(reader, "Line one\nLine two"), "Zeile eins\nZeile zwei");
        EXPECT_EQ(findOrKey(reader, "Smile \xF0\x9F\x98\x80"),
                  "L\xC3\xA4"
                  "cheln \xF0\x9F\x98\x80");
        EXPECT_EQ(findOrKey(reader, "Cancel "), "Cancel ");
        // The header is an ordinary entry under the empty key.
        auto header = reader.find("");
        ASSERT_TRUE(header);
        EXPECT_NE(header->find("charset=UTF-8"), std::string_view::npos);
    }
}

TEST(CatalogueReader, DamagedCataloguesNeverReadOutsideTheirBytes) {
    const std::string good = readFile(KEYPILOT_TEST_MO_DIR "/de_default.mo");
    // Every truncation: whatever is still complete may be found, nothing is read past the end.
    for (std::size_t length = 0; length <= good.size(); ++length) {
        ExactBytes bytes(good.substr(0, length));
        CatalogueReader reader;
        reader.open(bytes.data.get(), bytes.size);
        for (const char* key : {"", "Cancel", "Exit", "Settings", "Zzz"}) {
            auto found = reader.find(key);
            if (found) {
                EXPECT_GE(reinterpret_cast<const unsigned char*>(found->data()), bytes.data.get());
                EXPECT_LE(reinterpret_cast<const unsigned char*>(found->data()) + found->size(),
                          bytes.data.get() + bytes.size);
            }
        }
    }

    std::string catalogue = buildCatalogue({{"a", "1"}, {"b", "2"}, {"c", "3"}});
    // A key string that lies past the end: its entry is not found, nothing is read.
    std::string farKey = catalogue;
    testing::putWord(farKey, 28 + 8 * 1 + 4, 0x7FFFFFF0, ByteOrder::little);
    ExactBytes far(farKey);
    CatalogueReader reader;
    ASSERT_TRUE(reader.open(far.data.get(), far.size));
    EXPECT_FALSE(reader.find("b"));
    // A translation whose length runs past the end.
    std::string longTranslation = catalogue;
    testing::putWord(longTranslation, 28 + 24 + 8 * 2, 0xFFFFFFFF, ByteOrder::little);
    ExactBytes lt(longTranslation);
    ASSERT_TRUE(reader.open(lt.data.get(), lt.size));
    EXPECT_FALSE(reader.find("c"));
    EXPECT_EQ(findOrKey(reader, "a"), "1");
    // An entry count whose tables cannot fit: nothing is found, not even the real entries.
    std::string hugeCount = catalogue;
    testing::putWord(hugeCount, 8, 0xFFFFFFFF, ByteOrder::little);
    ExactBytes hc(hugeCount);
    ASSERT_TRUE(reader.open(hc.data.get(), hc.size));
    EXPECT_FALSE(reader.find("a"));
    // A table offset beyond the file.
    std::string farTable = catalogue;
    testing::putWord(farTable, 16, 0xFFFFFFF8, ByteOrder::little);
    ExactBytes ft(farTable);
    ASSERT_TRUE(reader.open(ft.data.get(), ft.size));
    EXPECT_FALSE(reader.find("a"));
}

TEST(CatalogueReader, KeysCompareAsUnsignedBytesShorterFirst) {
    EXPECT_LT(compareKeys("abc", "abd"), 0);
    EXPECT_LT(compareKeys("ab", "abc"), 0);
    EXPECT_GT(compareKeys("abc", "ab"), 0);
    EXPECT_LT(compareKeys("z", "\xC3\xA4"), 0);  // 0xC3 sorts after 'z' as an unsigned byte
    EXPECT_EQ(compareKeys("", ""), 0);
    EXPECT_LT(compareKeys("", "a"), 0);
}

}  // namespace
}  // namespace i18n
