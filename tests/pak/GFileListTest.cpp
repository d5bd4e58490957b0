#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "misc/Random.h"
#include "pak/GFileList.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// data/a.txt, data/.hidden, data/.svn/x.txt, data/sub/b.txt, data/sub/deeper/c.txt
void MakeTree(const TempDir& dir) {
    WriteFile(dir.Path() / "data/a.txt", "a");
    WriteFile(dir.Path() / "data/.hidden", "h");
    WriteFile(dir.Path() / "data/.svn/x.txt", "x");
    WriteFile(dir.Path() / "data/sub/b.txt", "b");
    WriteFile(dir.Path() / "data/sub/deeper/c.txt", "c");
}

}  // namespace

TEST(GFileList, AddFiles_WalksSubFoldersAndSkipsDotNames) {
    TempDir dir;
    MakeTree(dir);
    const std::string root = dir / "data";
    GFileList list;
    list.AddFiles(root + "/*.*");
    EXPECT_EQ(Sorted(list.Files), (std::vector<std::string>{root + "/a.txt", root + "/sub/b.txt",
                                                            root + "/sub/deeper/c.txt"}));

    // Depth first: the files of sub come together, where sub was met.
    const auto b = std::find(list.Files.begin(), list.Files.end(), root + "/sub/b.txt");
    const auto c = std::find(list.Files.begin(), list.Files.end(), root + "/sub/deeper/c.txt");
    EXPECT_EQ(std::abs(b - c), 1);
}

TEST(GFileList, AddFiles_KeepsTheCallersSeparatorOnlyForTheFirstLevel) {
    TempDir dir;
    MakeTree(dir);
    TestSupport::CwdGuard cwd(dir.Path());
    GFileList list;
    list.AddFiles("data\\*.*");
    EXPECT_EQ(Sorted(list.Files), (std::vector<std::string>{"data\\a.txt", "data\\sub/b.txt",
                                                            "data\\sub/deeper/c.txt"}));
    // Without any separator the working folder is walked.
    TestSupport::CwdGuard inner(dir.Path() / "data");
    list.Clear();
    list.AddFiles("*.*");
    EXPECT_EQ(Sorted(list.Files),
              (std::vector<std::string>{"a.txt", "sub/b.txt", "sub/deeper/c.txt"}));
}

TEST(GFileList, AddFiles_EntersOnlySubFoldersThatMatchThePattern) {
    TempDir dir;
    WriteFile(dir.Path() / "gfx/top.png", "");
    WriteFile(dir.Path() / "gfx/notes.txt", "");
    WriteFile(dir.Path() / "gfx/icons/icon.png", "");
    WriteFile(dir.Path() / "gfx/set.png/inner.png", "");
    GFileList list;
    list.AddFiles(dir / "gfx/*.png");
    EXPECT_EQ(Sorted(list.Files),
              (std::vector<std::string>{dir / "gfx/set.png/inner.png", dir / "gfx/top.png"}));
}

TEST(GFileList, AddFiles_MissingFolderOrNoMatchLeavesTheListAlone) {
    TempDir dir;
    WriteFile(dir.Path() / "only.txt", "");
    GFileList list;
    list.Files.push_back("earlier");
    list.AddFiles(dir / "missing/*.*");
    list.AddFiles(dir / "*.png");
    EXPECT_EQ(list.Files, std::vector<std::string>{"earlier"});
}

// A file k levels down used to be listed k + 1 times when the pattern matched folder names.
TEST(GFileList, AddFolderTree_ListsEveryMatchingFileOnce) {
    TempDir dir;
    WriteFile(dir.Path() / "t/a.png", "");
    WriteFile(dir.Path() / "t/.hidden.png", "");
    WriteFile(dir.Path() / "t/readme.txt", "");
    WriteFile(dir.Path() / "t/icons/b.png", "");
    WriteFile(dir.Path() / "t/icons/deep/c.png", "");
    WriteFile(dir.Path() / "t/set.png/d.png", "");
    WriteFile(dir.Path() / "t/set.png/plain/e.png", "");
    WriteFile(dir.Path() / "t/set.png/x.png/f.png", "");
    WriteFile(dir.Path() / "t/.git/g.png", "");
    const std::string t = dir / "t";
    const std::vector<std::string> expected{
        t + "/a.png",         t + "/icons/b.png",         t + "/icons/deep/c.png",
        t + "/set.png/d.png", t + "/set.png/plain/e.png", t + "/set.png/x.png/f.png"};

    for (const char* pattern : {"*.png", "*.*"}) {
        GFileList list;
        list.AddFolderTree(t, pattern);
        std::vector<std::string> files = list.Files;
        if (std::string(pattern) == "*.*") {
            files.erase(std::remove(files.begin(), files.end(), t + "/readme.txt"), files.end());
        }
        EXPECT_EQ(Sorted(files), expected) << pattern;
    }
}

// A link to "." once listed each file 41 times, two of them never ended, and a link out of
// the tree took a walk (and a delete) elsewhere. Links to files are files.
TEST(GFileList, NeverEntersALinkToAFolder) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no links to files here";
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "a");
    WriteFile(dir.Path() / "data/sub/b.txt", "b");
    WriteFile(dir.Path() / "outside/x.txt", "x");
    fs::create_directory_symlink(".", dir.Path() / "data/loop");
    fs::create_directory_symlink("..", dir.Path() / "data/sub/back");
    fs::create_directory_symlink("../outside", dir.Path() / "data/out");
    fs::create_symlink("../outside/x.txt", dir.Path() / "data/x.txt");
    const std::string data = dir / "data";
    const std::vector<std::string> links{data + "/loop", data + "/out", data + "/sub/back"};

    struct Case {
        const char* Pattern;
        bool Tree;
        std::vector<std::string> Files;
    };
    const std::vector<Case> cases{
        {"*.*", false, {data + "/a.txt", data + "/sub/b.txt", data + "/x.txt"}},
        {"*.*", true, {data + "/a.txt", data + "/sub/b.txt", data + "/x.txt"}},
        {"a.*", true, {data + "/a.txt"}},
    };
    for (const Case& c : cases) {
        GFileList list;
        if (c.Tree) {
            list.AddFolderTree(data, c.Pattern);
        } else {
            list.AddFiles(data + "/" + c.Pattern);
        }
        EXPECT_EQ(Sorted(list.Files), c.Files) << c.Pattern << c.Tree;
        EXPECT_EQ(Sorted(list.FolderLinks), links) << c.Pattern << c.Tree;
    }

    GFileList folders;
    folders.AddFolders(data + "/*.*");
    EXPECT_EQ(folders.Files, std::vector<std::string>{"sub"});
    EXPECT_EQ(Sorted(folders.FolderLinks), (std::vector<std::string>{"loop", "out"}));
}

TEST(GFileList, RootRecording) {
    TempDir dir;
    WriteFile(dir.Path() / "data/gfx/a.txt", "");
    WriteFile(dir.Path() / "data/gfx/ui/b.txt", "");
    WriteFile(dir.Path() / "data/gfx/fx/c.txt", "");
    WriteFile(dir.Path() / "data/gfx/.cache/d.txt", "");
    TestSupport::CwdGuard cwd(dir.Path());

    GFileList bare;
    bare.AddFolders("data/gfx/*.*");
    EXPECT_EQ(Sorted(bare.Files), (std::vector<std::string>{"fx", "ui"}));
    EXPECT_EQ(bare.GetRoot(), "");

    GFileList rooted;
    rooted.SetKeepRoot();
    rooted.AddFiles("data/gfx/*.*");
    EXPECT_EQ(rooted.GetRoot(), "data/gfx/");
    rooted.Clear();
    EXPECT_EQ(rooted.Count(), 0u);
    EXPECT_EQ(rooted.GetRoot(), "data/gfx/");
    rooted.AddFolders("data/gfx/*.*");
    EXPECT_EQ(rooted.GetRoot(), "data/gfx/");
    EXPECT_EQ(Sorted(rooted.Files), (std::vector<std::string>{"data/gfx/fx", "data/gfx/ui"}));
}

TEST(GFileList, GetRandomFile_SameSeedSamePick) {
    GFileList list;
    EXPECT_EQ(list.GetRandomFile(), "");
    for (const char* name : {"a", "b", "c", "d", "e"}) list.Files.push_back(name);
    SeedRand(1234);
    const std::string first = list.GetRandomFile() + list.GetRandomFile() + list.GetRandomFile();
    SeedRand(1234);
    EXPECT_EQ(list.GetRandomFile() + list.GetRandomFile() + list.GetRandomFile(), first);
}

// Where a backslash separates folders, "sub\b.txt" would be read as sub/b.txt: another file,
// or in a delete, the wrong one. Such names are set aside, never listed or entered.
TEST(GFileList, SetsAsideNamesHoldingABackslash) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "names cannot hold a backslash here";
    TempDir dir;
    WriteFile(dir.Path() / "data/sub/b.txt", "b");
    WriteFile(dir.Path() / "data/sub\\b.txt", "lookalike");
    WriteFile(dir.Path() / "data/odd\\dir/c.txt", "c");
    const std::string root = dir / "data";
    GFileList files;
    files.AddFiles(root + "/*.*");
    EXPECT_EQ(files.Files, std::vector<std::string>{root + "/sub/b.txt"});
    EXPECT_EQ(Sorted(files.BackslashNames),
              (std::vector<std::string>{root + "/odd\\dir", root + "/sub\\b.txt"}));

    GFileList tree;
    tree.AddFolderTree(root, "*.txt");
    EXPECT_EQ(tree.Files, std::vector<std::string>{root + "/sub/b.txt"});
    EXPECT_EQ(Sorted(tree.BackslashNames),
              (std::vector<std::string>{root + "/odd\\dir", root + "/sub\\b.txt"}));
}
