#include <gtest/gtest.h>

#include <filesystem>

#include "render/GTextureManager.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

// Texture folders come from modders: two links back to "." once made the registration
// walk branch without end, and a link out of the tree would add folders elsewhere.
TEST(TextureFolders, RegistrationNeverEntersALinkToAFolder) {
    if (!TestSupport::FolderLinksWork()) GTEST_SKIP() << "no links to folders here";
    TestSupport::TempDir dir;
    fs::create_directories(dir.Path() / "tex/sub");
    fs::create_directories(dir.Path() / "elsewhere/inner");
    fs::create_directory_symlink(".", dir.Path() / "tex/loop");
    fs::create_directory_symlink("..", dir.Path() / "tex/sub/back");
    fs::create_directory_symlink(dir.Path() / "elsewhere", dir.Path() / "tex/out");
    GTextureManager manager;
    manager.AddTextureFolder(dir / "tex");
    EXPECT_EQ(manager.GetTextureFolders(),
              (std::vector<std::string>{dir / "tex", dir / "tex" + "\\sub"}));
}
