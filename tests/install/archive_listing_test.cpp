#include "install/archive_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string RULE = "------------------- ----- ------------ ------------  "
                         "------------------------\r\n";

// What 7-Zip before 9.34 prints: an empty attribute column.
std::string classic_listing(const std::string& file_lines, const std::string& summary)
{
    return "\r\n7-Zip 9.20  Copyright (c) 1999-2010 Igor Pavlov  2010-11-18\r\n\r\n"
           "Listing archive: kavel.iso\r\n\r\n--\r\nPath = kavel.iso\r\nType = Iso\r\n"
           "Created = 2026-12-08 01:42:31\r\n\r\n"
           "   Date      Time    Attr         Size   Compressed  Name\r\n" +
           RULE + file_lines + RULE + summary + "\r\n";
}

std::string classic_line(const std::string& size, const std::string& name)
{
    return "2026-12-08 01:42:31           " + size + "     " + size + "  " + name + "\r\n";
}

std::string current_line(const std::string& attributes, const std::string& size,
                         const std::string& name)
{
    return "2026-12-08 01:42:31 " + attributes + "       " + size + "       " + size + "  " + name +
           "\r\n";
}

struct listed_file {
    int64_t size;
    std::string name;
};

// Every file the cursor gives, until it says there is none or fails.
std::vector<listed_file> walk(char* text, int* last = nullptr)
{
    std::vector<listed_file> files;
    listing_cursor cursor;
    listing_begin(&cursor, text);
    int64_t size = -1;
    const char* name = nullptr;
    int rc;
    while ((rc = listing_next_file(&cursor, &size, &name)) == LISTING_FILE)
        files.push_back({size, name});
    if (last)
        *last = rc;
    return files;
}

// The files the cursor gives in a listing whose total reads and whose check
// counts `count` files; stops the test when the total does not read or the
// cursor gives another number of files.
void walk_counted(std::string& text, int count, std::vector<listed_file>* files)
{
    int64_t total = 0;
    ASSERT_EQ(0, listing_read_total(&text[0], &total));
    EXPECT_EQ(count, listing_check_files(text.c_str()));
    *files = walk(&text[0]);
    ASSERT_EQ(static_cast<std::size_t>(count), files->size());
}

TEST(ArchiveListing, ClassicListingGivesTotalAndEveryFileInOrder)
{
    std::string text =
        classic_listing(classic_line("100000", "vmlinuz") + classic_line("50000", "initrd.gz") +
                            classic_line("150000", "kavel base.sfs"),
                        "                              300000       300000  "
                        "3 files, 0 folders");
    std::string before = text;
    int64_t total = 0;
    ASSERT_EQ(0, listing_read_total(&text[0], &total));
    EXPECT_EQ(300000, total);
    // Cut right after the total, over a blank: the file lines stay whole.
    std::string cut = text.c_str();
    EXPECT_EQ(' ', before[cut.size()]);
    EXPECT_EQ("300000", cut.substr(cut.size() - 6));
    EXPECT_NE(std::string::npos, cut.find("kavel base.sfs\r\n"));

    EXPECT_EQ(3, listing_check_files(text.c_str()));
    EXPECT_EQ(cut, text.c_str()); // the check writes nothing

    int last = 99;
    std::vector<listed_file> files = walk(&text[0], &last);
    EXPECT_EQ(LISTING_END, last);
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(100000, files[0].size);
    EXPECT_EQ("vmlinuz", files[0].name); // the blanks before it are the separator
    EXPECT_EQ(50000, files[1].size);
    EXPECT_EQ("initrd.gz", files[1].name);
    EXPECT_EQ(150000, files[2].size);
    EXPECT_EQ("kavel base.sfs", files[2].name); // spaces inside a name belong to it
}

TEST(ArchiveListing, ClassicSummaryIgnoresCaseAndTakesTheFirstMatch)
{
    std::string text =
        classic_listing(classic_line("7", "vmlinuz"), "      7      7  1 FILES, 0 Folders\r\n"
                                                      "      9      9  1 files, 0 folders");
    int64_t total = 0;
    ASSERT_EQ(0, listing_read_total(&text[0], &total));
    EXPECT_EQ(7, total);
}

TEST(ArchiveListing, NoSummaryLeavesTextAndTotalAlone)
{
    const char* samples[] = {
        "",
        "\r\nERROR: kavel.iso\r\nCan not open the file as archive\r\n",
        // Counts without the two sizes before them.
        "\r\n  3 files, 0 folders\r\n",
        // "files" that does not end its line, in the current shape.
        "\r\n   2026-12-08 01:42:31     200     200  4 files missing\r\n",
    };
    for (const char* sample : samples) {
        std::string text = sample;
        int64_t total = 42;
        EXPECT_EQ(1, listing_read_total(&text[0], &total)) << sample;
        EXPECT_EQ(42, total);
        EXPECT_EQ(sample, text);
    }
}

TEST(ArchiveListing, CurrentSummaryWithOrWithoutFolders)
{
    struct {
        const char* summary;
        int64_t total;
    } cases[] = {
        {"2026-12-08 01:42:31             200000       200000  4 files\r\n", 200000},
        {"2026-12-08 01:42:31             200000       200000  4 Files\n", 200000},
        {"2026-12-08 01:42:31             1234       1200  1 files", 1234}, // end of text
        {"2026-12-08 01:42:31             999       999  2 files, 3 folders\r\n", 999},
    };
    for (const auto& c : cases) {
        std::string text = "\r\n7-Zip 26.03\r\n\r\n" + RULE + c.summary;
        std::string before = text;
        int64_t total = 0;
        ASSERT_EQ(0, listing_read_total(&text[0], &total)) << c.summary;
        EXPECT_EQ(c.total, total);
        std::string cut = text.c_str();
        // The cut lies over a blank: putting it back gives the whole text.
        EXPECT_EQ(' ', before[cut.size()]);
        text[cut.size()] = ' ';
        EXPECT_EQ(before, text);
        EXPECT_EQ(std::to_string(c.total), cut.substr(cut.size() - std::to_string(c.total).size()));
    }
}

TEST(ArchiveListing, CurrentFileLinesTakenWhenNoClassicLineStands)
{
    // 7-Zip 26.03: "....." on files, "D...." on a folder that matches *.sfs.
    std::string text = "\r\n7-Zip 26.03 (x86)\r\n\r\nScanning the drive for archives:\r\n"
                       "1 file, 2048000 bytes (2000 KiB)\r\n\r\nListing archive: kavel.iso\r\n\r\n"
                       "--\r\nPath = kavel.iso\r\nType = Iso\r\n\r\n" +
                       RULE + current_line(".....", "100000", "vmlinuz") +
                       current_line("D....", "0", "old.sfs") +
                       current_line("....A", "50000", "initrd.gz") +
                       current_line(".R...", "50000", "kavel base.sfs") + RULE +
                       "2026-12-08 01:42:31             200000       200000  3 files, 1 folders"
                       "\r\n";
    int64_t total = 0;
    ASSERT_EQ(0, listing_read_total(&text[0], &total));
    EXPECT_EQ(200000, total);
    EXPECT_EQ(3, listing_check_files(text.c_str()));
    std::vector<listed_file> files = walk(&text[0]);
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ("vmlinuz", files[0].name);
    EXPECT_EQ(100000, files[0].size);
    EXPECT_EQ("initrd.gz", files[1].name);
    EXPECT_EQ("kavel base.sfs", files[2].name);
}

TEST(ArchiveListing, ClassicLinesAloneCountWhenBothShapesStand)
{
    std::string text =
        classic_listing(current_line(".....", "5", "vmlinuz") + classic_line("6", "initrd.gz"),
                        "      11      11  2 files, 0 folders");
    std::vector<listed_file> files;
    ASSERT_NO_FATAL_FAILURE(walk_counted(text, 1, &files));
    EXPECT_EQ("initrd.gz", files[0].name);
    EXPECT_EQ(6, files[0].size);
}

TEST(ArchiveListing, SizesPastThirtyTwoBits)
{
    std::string text = classic_listing(
        classic_line("2147483647", "a.sfs") + classic_line("2147483648", "b.sfs") +
            classic_line("4500000000", "c.sfs") + classic_line("99999999999999999999", "d.sfs"),
        "      9000000000      9000000000  4 files, 0 folders");
    int64_t total = 0;
    ASSERT_EQ(0, listing_read_total(&text[0], &total));
    EXPECT_EQ(9000000000LL, total);
    std::vector<listed_file> files = walk(&text[0]);
    ASSERT_EQ(4u, files.size());
    EXPECT_EQ(2147483647LL, files[0].size);
    EXPECT_EQ(2147483648LL, files[1].size);
    EXPECT_EQ(4500000000LL, files[2].size);
    EXPECT_EQ(INT64_MAX, files[3].size); // held at the top, not wrapped
}

TEST(ArchiveListing, SummaryWithoutAcceptedFileLineIsDetectable)
{
    const std::string listings[] = {
        classic_listing("", "      0      0  0 files, 0 folders"),
        // A folder alone, in the current shape.
        "\r\n" + RULE + current_line("D....", "0", "x.sfs") + RULE +
            "2026-12-08 01:42:31             0            0  0 files, 1 folders\r\n",
        // An attribute column the classic pattern does not accept and that is no file.
        classic_listing("2026-12-08 01:42:31 R         5     5  vmlinuz\r\n",
                        "      5      5  1 files, 0 folders"),
    };
    for (std::string text : listings) {
        int64_t total = -1;
        ASSERT_EQ(0, listing_read_total(&text[0], &total));
        EXPECT_EQ(0, listing_check_files(text.c_str()));
        int last = 99;
        EXPECT_TRUE(walk(&text[0], &last).empty());
        EXPECT_EQ(LISTING_END, last);
    }
}

TEST(ArchiveListing, NamesThatWouldEscapeTheCommandOrFolderAreRefused)
{
    const char* names[] = {"a\"b.sfs",
                           "..\\..\\boot.sfs",
                           "sub/x.sfs",
                           "C:x.sfs",
                           "*.sfs",
                           "x?.sfs",
                           "tab\there.sfs",
                           "del\x7f.sfs",
                           "esc\x1b.sfs",
                           "-ai.sfs",
                           "@list.sfs",
                           "-",
                           "@"};
    for (const char* bad : names) {
        std::string text = classic_listing(classic_line("10", "vmlinuz") + classic_line("20", bad),
                                           "      30      30  2 files, 0 folders");
        int64_t total = 0;
        ASSERT_EQ(0, listing_read_total(&text[0], &total)) << bad;
        std::string before = text;
        EXPECT_EQ(LISTING_UNSAFE_NAME, listing_check_files(text.c_str())) << bad;
        EXPECT_EQ(before, text);

        // The cursor refuses the line too, and writes nothing into it.
        int last = 0;
        std::vector<listed_file> files = walk(&text[0], &last);
        EXPECT_EQ(LISTING_UNSAFE_NAME, last) << bad;
        ASSERT_EQ(1u, files.size());
        EXPECT_NE(std::string::npos, text.find(std::string(bad) + "\r\n")) << bad;
    }
}

TEST(ArchiveListing, NamesOfTheCodePageAreKept)
{
    // GBK "内核.sfs" and a name with a dot run and a dash.
    std::string text = classic_listing(classic_line("10", "\xc4\xda\xba\xcb.sfs") +
                                           classic_line("20", "kavel-1.0..sfs"),
                                       "      30      30  2 files, 0 folders");
    std::vector<listed_file> files;
    ASSERT_NO_FATAL_FAILURE(walk_counted(text, 2, &files));
    EXPECT_EQ("\xc4\xda\xba\xcb.sfs", files[0].name);
    EXPECT_EQ("kavel-1.0..sfs", files[1].name);
}

TEST(ArchiveListing, LineEndingAtTheEndOfTheTextStopsTheCursorThere)
{
    // No LF after the last CR: the cursor must not step over the terminator.
    std::string line = "2026-12-08 01:42:31           5     5  vmlinuz\r";
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    listing_cursor cursor;
    listing_begin(&cursor, text.data());
    int64_t size = 0;
    const char* name = nullptr;
    ASSERT_EQ(LISTING_FILE, listing_next_file(&cursor, &size, &name));
    EXPECT_STREQ("vmlinuz", name);
    EXPECT_EQ(text.data() + text.size() - 1, cursor.next);
    EXPECT_EQ(LISTING_END, listing_next_file(&cursor, &size, &name));
    EXPECT_EQ(1, listing_check_files(line.c_str()));
}

} // namespace
