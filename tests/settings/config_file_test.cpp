// Loading and saving skyfault.cfg, on every system.
#include "tests/settings/config_file.h"

namespace skyfault {
namespace {

TEST_F(ConfigFile, LoadsTheBytesAsTheyAreOrSaysWhyNot) {
    EXPECT_EQ(LoadConfigFile(file_.string()).status, LoadResult::Status::Missing);
    EXPECT_EQ(LoadConfigFile((folder_ / "no" / "skyfault.cfg").string()).status,
              LoadResult::Status::Missing);
    const std::string bytes = "Rate=5\r\nDefaultSound=\xE9\0x\r\nlast"s;
    Put(file_, bytes);
    LoadResult result = LoadConfigFile(file_.string());
    EXPECT_EQ(result.status, LoadResult::Status::Loaded);
    EXPECT_EQ(result.bytes, bytes);

    fs::remove(file_);
    fs::create_directory(file_);
    result = LoadConfigFile(file_.string());
    EXPECT_EQ(result.status, LoadResult::Status::Unreadable);
    EXPECT_EQ(ReadErrorMessage(result.error), "Could not read skyfault.cfg: " + result.error);
    EXPECT_FALSE(result.error.empty());
}

// A save replaces the whole file, even a read-only one; a save that fails
// leaves what stood there as it was. Neither leaves a temporary file.
TEST_F(ConfigFile, SaveReplacesTheWholeFileOrLeavesItAlone) {
    EXPECT_EQ(SaveConfigFile(file_.string(), "Rate=5\r\n"), "");
    EXPECT_EQ(Slurp(file_), "Rate=5\r\n");
    Put(file_, std::string(10000, 'x'));
    fs::permissions(file_,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(SaveConfigFile(file_.string(), "new"), "");
    EXPECT_EQ(Slurp(file_), "new");
    EXPECT_EQ(Names(), 1);

    fs::remove(file_);
    fs::create_directory(file_);
    Put(file_ / "inside", "keep");
    const std::string reason = SaveConfigFile(file_.string(), "Rate=5\r\n");
    EXPECT_EQ(SaveErrorMessage(reason), "Could not save skyfault.cfg: " + reason);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(Slurp(file_ / "inside"), "keep");
    EXPECT_EQ(Names(), 2);
    EXPECT_NE(SaveConfigFile((folder_ / "missing" / "skyfault.cfg").string(), "x"), "");
    EXPECT_EQ(Names(), 2);
}

}  // namespace
}  // namespace skyfault
