#include "i18n/embedded_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace i18n {
namespace {

// Stands in for an executable: some code bytes, the marker with an empty slot, more bytes.
std::string fakeExecutable() {
    std::string image = "MZ program text ";
    image += embeddedIndexGuid();
    image.append(8, '\0');
    image += " more program text";
    return image;
}

ReadAt readFrom(const std::string& file) {
    return [&file](std::uint64_t position, void* buffer, std::size_t count) {
        if (position > file.size() || file.size() - position < count) {
            return false;
        }
        std::memcpy(buffer, file.data() + position, count);
        return true;
    };
}

std::uint64_t slotOf(const std::string& image) {
    auto at = findMarkerGuid(image);
    EXPECT_EQ(at.size(), 1u);
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(image[at[0] + kMarkerGuidLength + i]);
    }
    return v;
}

std::vector<EmbeddedEntry> walk(const std::string& file, std::uint64_t first) {
    std::vector<EmbeddedEntry> entries;
    std::set<std::string> names;
    walkEmbeddedIndex(first, readFrom(file), [&](EmbeddedEntry e) {
        if (!names.insert(e.name).second) {
            return false;
        }
        entries.push_back(std::move(e));
        return true;
    });
    return entries;
}

void appendUint64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

TEST(EmbeddedIndex, EmbeddedCataloguesAreFoundThroughTheMarker) {
    std::string image = fakeExecutable();
    const std::string original = image;
    ASSERT_EQ(embedCatalogues(image, {{"locale\\de\\LC_MESSAGES\\default.mo", "first catalogue"},
                                      {"locale\\de\\LC_MESSAGES\\serial.mo", "second"}}),
              "");
    EXPECT_EQ(image.compare(0, original.size() - 26, original, 0, original.size() - 26), 0)
        << "only the slot changes in front of the appended part";
    std::uint64_t first = slotOf(image);
    ASSERT_NE(first, 0u);
    auto entries = walk(image, first);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "locale\\de\\LC_MESSAGES\\default.mo");
    EXPECT_EQ(image.substr(entries[0].offset, entries[0].size), "first catalogue");
    EXPECT_EQ(entries[1].name, "locale\\de\\LC_MESSAGES\\serial.mo");
    EXPECT_EQ(image.substr(entries[1].offset, entries[1].size), "second");

    // No catalogues at all still gives a valid, empty chain.
    std::string none = fakeExecutable();
    ASSERT_EQ(embedCatalogues(none, {}), "");
    EXPECT_TRUE(walk(none, slotOf(none)).empty());
}

TEST(EmbeddedIndex, EmbeddingRefusesWhatItCannotDoSafely) {
    std::string noMarker = "MZ nothing here";
    EXPECT_NE(embedCatalogues(noMarker, {{"a.mo", "x"}}), "");
    EXPECT_EQ(noMarker, "MZ nothing here");

    std::string twice = fakeExecutable() + fakeExecutable();
    EXPECT_NE(embedCatalogues(twice, {{"a.mo", "x"}}), "");

    std::string image = fakeExecutable();
    ASSERT_EQ(embedCatalogues(image, {{"a.mo", "x"}}), "");
    EXPECT_NE(embedCatalogues(image, {{"b.mo", "y"}}), "") << "slot already filled";

    std::string fresh = fakeExecutable();
    EXPECT_NE(embedCatalogues(fresh, {{"a.mo", "x"}, {"a.mo", "y"}}), "");
    EXPECT_NE(embedCatalogues(fresh, {{" a.mo", "x"}}), "");
    EXPECT_NE(embedCatalogues(fresh, {{"", "x"}}), "");
}

TEST(EmbeddedIndex, NamesAreTrimmedOfControlCharactersAndSpaces) {
    EXPECT_EQ(trimEntryName(std::string_view("\0\t a b \r\n\0", 10)), "a b");
    EXPECT_EQ(trimEntryName("   "), "");
    // Padding after a name, as an aligned writer might leave it.
    std::string file(16, 'x');
    appendUint64(file, 16 + 24 + 12);
    appendUint64(file, 1);
    appendUint64(file, 2);
    file += std::string("name.mo\0\0\0\0\0", 12);
    appendUint64(file, 0);
    auto entries = walk(file, 16);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "name.mo");
    EXPECT_EQ(entries[0].offset, 1);
    EXPECT_EQ(entries[0].size, 2);
}

TEST(EmbeddedIndex, DamagedChainsEndTheWalkKeepingEarlierEntries) {
    auto entry = [](std::string& file, std::uint64_t next, const std::string& name) {
        appendUint64(file, next);
        appendUint64(file, 0);
        appendUint64(file, 0);
        file += name;
    };
    // A name already taken ends the walk; the entries before it stay.
    std::string repeated(8, 'p');
    entry(repeated, 8 + 28, "a.mo");
    entry(repeated, 8 + 56, "b.mo");
    entry(repeated, 8 + 84, "a.mo");
    entry(repeated, 0, "c.mo");
    auto entries = walk(repeated, 8);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "b.mo");

    // An entry pointing back at an earlier one would make its name end before it begins: the
    // walk ends there, so a chain can never loop.
    std::string looped(8, 'p');
    entry(looped, 8 + 28, "a.mo");
    entry(looped, 8, "b.mo");
    EXPECT_EQ(walk(looped, 8).size(), 1u);

    // A read that falls short keeps what came before.
    std::string cut(8, 'p');
    entry(cut, 8 + 28, "a.mo");
    entry(cut, 8 + 28 + 100, "b.mo");  // its name would run past the end of the file
    EXPECT_EQ(walk(cut, 8).size(), 1u);
    std::string header(8, 'p');
    entry(header, 8 + 28, "a.mo");
    appendUint64(header, 200);
    header.append(4, '\0');  // the next entry's Offset and Size are cut short
    EXPECT_EQ(walk(header, 8).size(), 1u);

    // A Next that points before the entry's own name ends the walk at once.
    std::string before(8, 'p');
    entry(before, 10, "a.mo");
    EXPECT_TRUE(walk(before, 8).empty());

    // A start beyond the file reads nothing.
    EXPECT_TRUE(walk(looped, 1u << 20).empty());
}

}  // namespace
}  // namespace i18n
