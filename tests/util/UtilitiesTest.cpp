#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "util/ByteOrder.h"
#include "util/Files.h"
#include "util/Folders.h"
#include "util/Format.h"
#include "util/IniFile.h"
#include "util/Paths.h"
#include "util/Scrambled.h"
#include "util/Sync.h"
#include "util/Text.h"
#include "util/Unicode.h"
#include "util/Urls.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct JoinCase {
    const char* name;
    const char* folder;
    const char* file;
    const char* expected;
};

TEST(PathsTest, JoinPathFoldsAndKeepsOnlyTheLastComponentOfDrivePaths) {
    const JoinCase cases[] = {
        {"plain", "/dir", "f.xml", "/dir/f.xml"},
        {"trailing separator", "/dir/", "sub/f.xml", "/dir/sub/f.xml"},
        {"backslashes", "\\dir\\", "sub\\f.xml", "/dir/sub/f.xml"},
        {"dot segments", "/dir/a", "./b/../c.txt", "/dir/a/c.txt"},
        {"climbing", "/dir/OEBPS", "../Text/ch2.xhtml", "/dir/Text/ch2.xhtml"},
        {"drive path", "/dir", "D:\\x\\y.txt", "/dir/y.txt"},
        {"drive path with slash", "/dir", "D:/x/y.txt", "/dir/y.txt"},
        {"absolute name stays below", "/dir", "/etc/passwd", "/dir/etc/passwd"},
        {"cjk", "/书", "第一章.xhtml", "/书/第一章.xhtml"},
    };
    for (const auto& c : cases) EXPECT_EQ(util::JoinPath(c.folder, c.file), c.expected) << c.name;
}

TEST(PathsTest, ComponentsOfAPath) {
    EXPECT_EQ(util::GetFolderOf("/a/b/c.opf"), "/a/b/");
    EXPECT_EQ(util::GetFolderOf("/a/b/"), "/a/b/");
    EXPECT_EQ(util::GetFolderOf("/c.opf"), "/");
    EXPECT_EQ(util::GetFileName("/a/b/c.tar.gz", true), "c.tar.gz");
    EXPECT_EQ(util::GetFileName("/a/b/c.tar.gz", false), "c.tar");
    EXPECT_EQ(util::GetFileName("/a.d/b", false), "b");
    EXPECT_EQ(util::GetExtension("/a/book.EPUB"), ".EPUB");
    EXPECT_EQ(util::GetExtension("/a.d/book"), "");
    EXPECT_EQ(util::RemoveExtension("/out/x.pdf"), "/out/x");
    EXPECT_EQ(util::ToFullPath("/a/./b/../c"), "/a/c");
    EXPECT_EQ(util::ToFullPath("/../x"), "/x");
    EXPECT_EQ(util::ToFullPath("rel/x"), (fs::current_path() / "rel/x").string());
}

TEST(PathsTest, IsInsideFolder) {
    EXPECT_TRUE(util::IsInsideFolder("/book/epub/a.xhtml", "/book/epub"));
    EXPECT_TRUE(util::IsInsideFolder("/book/epub/", "/book/epub/"));
    EXPECT_FALSE(util::IsInsideFolder("/book/epub2/a.xhtml", "/book/epub"));
    EXPECT_FALSE(util::IsInsideFolder("/book/epub/../secret", "/book/epub"));
    EXPECT_FALSE(util::IsInsideFolder("/etc/passwd", "/book/epub/"));
}

TEST(FoldersTest, PerUserFoldersFollowXdgVariables) {
    TempDir dir;
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    EXPECT_EQ(util::GetAppDataFolder(), dir / "data");
    EXPECT_EQ(util::GetUserDataFolder(), dir / "data/epub2pdf");
    EXPECT_EQ(util::GetSettingsPath(), dir / "config/epub2pdf/epub2pdf.ini");
    // A relative XDG value is not valid and falls back to the home folder.
    setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(util::GetAppDataFolder(), util::GetHomeFolder() + "/.local/share");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(util::GetModuleBaseName(), "util_tests");
    EXPECT_EQ(util::GetProcessImageFolder(-1), util::GetModuleFolder());
    EXPECT_EQ(util::GetProcessImagePath(999999999), "");
}

TEST(FilesTest, FileExistsAndItsFailure) {
    TempDir dir;
    EXPECT_FALSE(util::FileExists(""));
    EXPECT_TRUE(util::FileExists(dir.Path()));
    EXPECT_FALSE(util::FileExists(dir / "missing"));
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(util::FileExists(dir / "file/below"));  // a file in the way is "not there"
    // A component longer than any file name makes the existence test itself fail.
    EXPECT_THROW(util::FileExists(dir / std::string(300, 'n')), fs::filesystem_error);
}

TEST(FilesTest, MakeUniquePathCountsUp) {
    TempDir dir;
    EXPECT_EQ(util::MakeUniquePath(dir / "a.pdf"), dir / "a.pdf");
    WriteFile(dir / "a.pdf", "");
    WriteFile(dir / "a(1).pdf", "");
    EXPECT_EQ(util::MakeUniquePath(dir / "a.pdf"), dir / "a(2).pdf");
    WriteFile(dir / "noext", "");
    EXPECT_EQ(util::MakeUniquePath(dir / "noext"), dir / "noext(1)");
}

TEST(FilesTest, ReserveUniquePathNeverHandsOutOneNameTwice) {
    TempDir dir;
    WriteFile(dir / "book.pdf", "user's file");
    std::vector<std::string> names(16);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < names.size(); ++i) {
        threads.emplace_back([&, i] { names[i] = util::ReserveUniquePath(dir / "book.pdf"); });
    }
    for (auto& t : threads) t.join();
    std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size());
    EXPECT_EQ(unique.count(dir / "book.pdf"), 0u);
    EXPECT_EQ(testing_support::ReadFile(dir / "book.pdf"), "user's file");
    EXPECT_EQ(util::ReserveUniquePath(dir / "missing-folder/x.pdf"), "");
}

TEST(FilesTest, RemoveFolderTreeRefusesDangerousTargets) {
    const char* refused[] = {"",      "/",      "///",        "/usr",       "/usr/share/doc",
                             "/etc/", "/lib64", "/proc/self", "/tmp/../etc"};
    for (const char* path : refused) EXPECT_FALSE(util::RemoveFolderTree(path)) << path;
    EXPECT_FALSE(util::RemoveFolderTree(util::GetHomeFolder()));
    EXPECT_FALSE(util::RemoveFolderTree(util::GetHomeFolder() + "/"));
    EXPECT_TRUE(fs::exists("/usr/share"));

    TempDir dir;
    WriteFile(dir / "tree/a/b/c.txt", "x");
    fs::create_symlink("/usr/share", dir / "tree/link");
    EXPECT_TRUE(util::RemoveFolderTree(dir / "tree//"));
    EXPECT_FALSE(fs::exists(dir / "tree"));
    EXPECT_TRUE(fs::exists("/usr/share/doc"));  // the link went, not its target
}

TEST(TextTest, PercentCodingAndFileUrls) {
    EXPECT_EQ(util::PercentDecode("ch%201.xhtml"), "ch 1.xhtml");
    EXPECT_EQ(util::PercentDecode("%E4%B8%AD"), "中");
    EXPECT_EQ(util::PercentDecode("100%"), "100%");
    EXPECT_EQ(util::PercentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(util::FileUrlFromPath("/tmp/a b/中#?.xhtml"), "file:///tmp/a%20b/%E4%B8%AD%23%3F.xhtml");
    EXPECT_EQ(util::PathFromFileUrl("file:///tmp/a%20b/%E4%B8%AD.xhtml"), "/tmp/a b/中.xhtml");
    EXPECT_EQ(util::PathFromFileUrl("file://localhost/x"), "/x");
    EXPECT_EQ(util::PathFromFileUrl("file:/x"), "/x");
    EXPECT_EQ(util::PathFromFileUrl("file://host/x"), "");
    EXPECT_EQ(util::PathFromFileUrl("http://x/y"), "");
    const std::string path = "/tmp/书 %/x.xhtml";
    EXPECT_EQ(util::PathFromFileUrl(util::FileUrlFromPath(path)), path);
    EXPECT_TRUE(util::IsValidUtf8("abc 中文"));
    EXPECT_FALSE(util::IsValidUtf8("\xC3"));
    EXPECT_FALSE(util::IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(util::IsValidUtf8("\xED\xA0\x80"));
    EXPECT_EQ(util::ValidUtf8("a\xC3"
                              "b\xF0\x9F\x98\x80"),
              "a\xEF\xBF\xBD"
              "b\xF0\x9F\x98\x80");
    EXPECT_EQ(util::ToLowerAscii("D:/Books/ABC.EPUB"), "d:/books/abc.epub");
    EXPECT_EQ(util::FormatString("%s%s(%d)%s %d%%", "/o/", "a", 2, ".pdf", 50), "/o/a(2).pdf 50%");
}

TEST(TextTest, Utf8DecodesAndEncodesEveryLength) {
    struct Case {
        const char* name;
        std::string bytes;
        char32_t code;
        size_t length;  // 0: no well-formed sequence
    } cases[] = {
        {"ascii", "A", U'A', 1},
        {"two bytes", "\xC3\xA9", U'é', 2},
        {"three bytes", "中", U'中', 3},
        {"four bytes", "\xF0\x9F\x98\x80", U'\U0001F600', 4},
        {"overlong", "\xC0\xAF", 0, 0},
        {"surrogate", "\xED\xA0\x80", 0, 0},
        {"truncated", "\xE4\xB8", 0, 0},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
        {"continuation first", "\x80", 0, 0},
    };
    for (const Case& c : cases) {
        const util::Utf8Char decoded = util::DecodeUtf8(c.bytes, 0);
        EXPECT_EQ(decoded.length, c.length) << c.name;
        if (c.length == 0)
            continue;
        EXPECT_EQ(decoded.code, c.code) << c.name;
        std::string encoded;
        util::AppendUtf8(encoded, c.code);
        EXPECT_EQ(encoded, c.bytes) << c.name;
    }
}

TEST(ByteOrderTest, ReadsAndWritesBothOrders) {
    const unsigned char bytes[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
    EXPECT_EQ(util::ReadBigEndian<std::uint16_t>(bytes), 0x0102u);
    EXPECT_EQ(util::ReadBigEndian<std::uint32_t>(bytes), 0x01020304u);
    EXPECT_EQ(util::ReadBigEndian<std::uint64_t>(bytes), 0x0102030405060788ull);
    EXPECT_EQ(util::ReadLittleEndian<std::uint16_t>(bytes), 0x0201u);
    EXPECT_EQ(util::ReadLittleEndian<std::uint32_t>(bytes), 0x04030201u);
    EXPECT_EQ(util::ReadLittleEndian<std::uint64_t>(bytes), 0x8807060504030201ull);
    unsigned char out[4] = {};
    util::WriteBigEndian(out, std::uint32_t{0xA1B2C3D4});
    EXPECT_EQ(util::ReadBigEndian<std::uint32_t>(out), 0xA1B2C3D4u);
    std::string appended = "x";
    util::AppendBigEndian(appended, std::uint16_t{0x4142});
    EXPECT_EQ(appended, "xAB");
}

// Decomposed text (a base letter and a combining mark) composes; what is composed, ASCII, or not UTF-8
// at all stays as it is.
TEST(TextTest, NormalizationFormC) {
    const std::pair<std::string, std::string> cases[] = {{"プラグイン", "プラグイン"},  // プラグイン
                                                         {"ガイド", "ガイド"},          // ガイド
                                                         {"été", "été"},
                                                         {"глава h.0001.総", "глава h.0001.総"},
                                                         {"two words %41", "two words %41"},
                                                         {"ãÃ", "ãÃ"},
                                                         {"", ""}};
    for (const auto& [text, composed] : cases) EXPECT_EQ(util::ToNfc(text), composed) << text;
}

TEST(ScrambledTest, DescramblesOnceAndKeepsNoPlainText) {
    static constexpr util::ScrambledBuffer<6> buffer{"remote", 0x1234};
    EXPECT_NE(std::string(buffer.bytes.begin(), buffer.bytes.end()), "remote");
    const std::string& a = SCRAMBLED("Page.navigate", 0x5eed);
    EXPECT_EQ(a, "Page.navigate");
    std::vector<std::thread> threads;
    std::vector<const std::string*> seen(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] { seen[i] = &SCRAMBLED("same", 7); });
    }
    for (auto& t : threads) t.join();
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [&](auto* p) { return p == seen[0] && *p == "same"; }));
}

TEST(SyncTest, ManualResetEventStaysSetUntilReset) {
    util::ManualResetEvent event;
    EXPECT_FALSE(event.Wait(0));
    std::thread t([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(-1));
    t.join();
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.Wait(10));
}

}  // namespace

namespace {

TEST(IniFileTest, ReadsWritesAndKeepsOtherLines) {
    TempDir dir;
    const std::string path = dir / "conf/epub2pdf.ini";
    util::IniFile app(path, "app");
    EXPECT_EQ(app.GetInt("width", -1), -1);  // no file: the default
    WriteFile(path, "; settings\n[other]\nwidth=5\n\n[App]\n Width = 0x20 \nzoom=010\nbad=abc\n");
    EXPECT_EQ(app.GetInt("width", -1), 32);  // base 0: hexadecimal
    EXPECT_EQ(app.GetInt("zoom", 0), 8);     // leading 0: octal
    EXPECT_EQ(app.GetInt("bad", 7), 7);      // not a number: the fallback
    EXPECT_EQ(app.GetInt("height", -1), -1);
    EXPECT_TRUE(app.SetInt("height", 600));
    EXPECT_TRUE(app.SetInt("width", 960));
    EXPECT_TRUE(util::IniFile(path, "new").SetString("k", "v"));
    EXPECT_EQ(app.GetInt("height", -1), 600);
    EXPECT_EQ(app.GetInt("width", -1), 960);
    EXPECT_EQ(util::IniFile(path, "other").GetInt("width", -1), 5);
    EXPECT_EQ(util::IniFile(path, "new").GetString("k"), "v");
    EXPECT_NE(testing_support::ReadFile(path).find("; settings"), std::string::npos);
    EXPECT_FALSE(util::IniFile("/proc/no/such.ini", "app").SetInt("x", 1));
    // No temporary file stays beside the settings.
    for (const auto& entry : fs::directory_iterator(dir / "conf")) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "epub2pdf.ini" || name == "epub2pdf.ini.lock") << name;
    }
}

TEST(IniFileTest, AValueThatIsNotANumberKeepsTheFallback) {
    struct Case {
        const char* value;
        int expected;
    };
    const Case cases[] = {{"12", 12},   {" 7 ", 7}, {"0x10", 16}, {"010", 8},
                          {"0", 0},     {"-1", -1}, {"yes", 5},   {"no", 5},
                          {"12abc", 5}, {"", 5},    {"1.5", 5},   {"99999999999999999999999", 5}};
    TempDir dir;
    const std::string path = dir / "s.ini";
    for (const Case& c : cases) {
        WriteFile(path, std::string("[browser]\nsearch_path=") + c.value + "\n");
        EXPECT_EQ(util::IniFile(path, "browser").GetInt("search_path", 5), c.expected)
            << '"' << c.value << '"';
    }
}

TEST(IniFileTest, TwoWritersAtOnceLoseNoKey) {
    TempDir dir;
    const std::string path = dir / "shared.ini";
    constexpr int kKeys = 100;
    // Two processes, as the window and the command line are: each writes keys of its own.
    std::vector<pid_t> children;
    for (const char* section : {"app", "browser"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            util::IniFile ini(path, section);
            bool ok = true;
            for (int i = 0; i < kKeys; ++i) ok = ini.SetInt("k" + std::to_string(i), i) && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (const char* section : {"app", "browser"}) {
        for (int i = 0; i < kKeys; ++i) {
            EXPECT_EQ(util::IniFile(path, section).GetInt("k" + std::to_string(i), -1), i)
                << section << " k" << i;
        }
    }
}

TEST(FoldersTest, RuntimeFolderIsPrivate) {
    TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    const std::string folder = util::GetRuntimeFolder();
    EXPECT_EQ(folder, dir / "epub2pdf");
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    // Somebody else's folder, or one open to others, is not used.
    fs::permissions(folder, fs::perms::others_all, fs::perm_options::add);
    EXPECT_EQ(util::GetRuntimeFolder(), "");
    fs::remove(folder);
    fs::create_directory_symlink(dir.Path(), folder);
    EXPECT_EQ(util::GetRuntimeFolder(), "");
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
