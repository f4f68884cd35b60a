#include "system/DefaultFolder.h"
#include "tests/system/FakeVolumes.h"
#include "system/FolderChecks.h"
#include "system/SaveLocation.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

const uint64_t GiB4 = 4294967296ULL;
const wchar_t kFile[] = L"setup.exe";
const wchar_t* const kFatMessage = L"磁盘格式为FAT32，无法保存大于4GB的文件，请更换为NTFS格式分区！";
const wchar_t* const kPermissionMessage = L"所选目录没有读写权限，请您重新选择目录!";
const wchar_t* const kSpaceMessage = L"磁盘空间不足，请您重新选择目录!";

TEST(FolderChecks, FatVolumesTakeFilesBelowFourGiBOnly) {
    FakeVolumes v;
    v.AddDrive(L'E', L"FAT32", 100 * GiB4);
    v.AddFolder(L"E:\\games");
    EXPECT_EQ(FolderVerdict::Accepted, CFolderChecks(v, kFile, GiB4 - 1).Check(L"E:\\games"));
    EXPECT_EQ(FolderVerdict::FatVolume, CFolderChecks(v, kFile, GiB4).Check(L"E:\\games"));
    v.fileSystems[L'E'] = L"FAT";
    EXPECT_EQ(FolderVerdict::FatVolume, CFolderChecks(v, kFile, GiB4 + 1).Check(L"E:\\games"));
    v.fileSystems[L'E'] = L"fat32";  // the name is compared exactly
    EXPECT_EQ(FolderVerdict::Accepted, CFolderChecks(v, kFile, GiB4 + 1).Check(L"E:\\games"));
    v.fileSystems.erase(L'E');  // unreadable counts as not FAT
    EXPECT_FALSE(CFolderChecks(v, kFile, GiB4).IsFatVolume(L"E:\\games"));
    EXPECT_EQ(std::wstring(kFatMessage), FolderVerdictMessage(FolderVerdict::FatVolume));
}

TEST(FolderChecks, FreeSpaceMustExceedTheGameSize) {
    FakeVolumes v;
    v.AddDrive(L'D', L"NTFS", 1000);
    v.AddFolder(L"D:\\dl");
    EXPECT_EQ(FolderVerdict::NoSpace, CFolderChecks(v, kFile, 1000).Check(L"D:\\dl"));
    EXPECT_EQ(FolderVerdict::Accepted, CFolderChecks(v, kFile, 999).Check(L"D:\\dl"));
    EXPECT_EQ(std::wstring(kSpaceMessage), FolderVerdictMessage(FolderVerdict::NoSpace));
}

TEST(FolderChecks, APartialDownloadInTheFolderCountsAsFreeSpace) {
    FakeVolumes v;
    v.AddDrive(L'D', L"NTFS", 600);
    v.AddFolder(L"D:\\dl");
    CFolderChecks checks(v, kFile, 1000);
    EXPECT_TRUE(checks.LacksFreeSpace(L"D:\\dl", 1000));
    v.existing.insert(L"D:\\dl\\setup.exe.P2P");
    v.sizes[L"D:\\dl\\setup.exe.P2P"] = 401;
    EXPECT_FALSE(checks.LacksFreeSpace(L"D:\\dl", 1000));
    EXPECT_FALSE(checks.LacksFreeSpace(L"D:\\dl\\", 1000));
    v.sizes[L"D:\\dl\\setup.exe.P2P"] = 400;
    EXPECT_TRUE(checks.LacksFreeSpace(L"D:\\dl", 1000));
}

TEST(FolderChecks, SecurityProductFoldersAreRefusedButNotTheirNamesakes) {
    FakeVolumes v;
    v.AddDrive(L'C', L"NTFS", 100 * GiB4);
    v.products[1] = L"C:\\Program Files\\Qelvo";
    for (const wchar_t* f : {L"C:\\Program Files\\Qelvo", L"C:\\Program Files\\Qelvo\\dl", L"C:\\Program Files\\QelvoGames",
                             L"C:\\Program Files"}) {
        v.AddFolder(f);
    }
    CFolderChecks checks(v, kFile, 100);
    EXPECT_EQ(FolderVerdict::NoPermission, checks.Check(L"C:\\Program Files\\Qelvo\\dl"));
    EXPECT_EQ(FolderVerdict::NoPermission, checks.Check(L"C:\\Program Files\\Qelvo"));
    EXPECT_EQ(FolderVerdict::Accepted, checks.Check(L"C:\\Program Files\\QelvoGames"));
    EXPECT_EQ(FolderVerdict::Accepted, checks.Check(L"C:\\Program Files"));
    EXPECT_EQ(std::wstring(kPermissionMessage), FolderVerdictMessage(FolderVerdict::NoPermission));
}

TEST(FolderChecks, SecurityProductFoldersAreMatchedAsWindowsMatchesPaths) {
    const struct {
        const wchar_t* registered;
        const wchar_t* folder;
        bool outside;
    } cases[] = {
        // Case does not tell two Windows paths apart.
        {L"C:\\Program Files\\Qelvo", L"c:\\program files\\qelvo\\dl", false},
        {L"C:\\Program Files\\Qelvo", L"C:\\PROGRAM FILES\\QELVO", false},
        {L"c:\\program files\\qelvo", L"C:\\Program Files\\Qelvo\\dl\\", false},
        {L"C:\\Spiele\\Ärger", L"c:\\SPIELE\\ärger\\dl", false},
        {L"C:\\Program Files\\Qelvo", L"C:\\Program Files\\QELVOGames", true},
        // A registered path ending in "\" still covers its subfolders.
        {L"C:\\Program Files\\Qelvo\\", L"C:\\Program Files\\Qelvo\\dl", false},
        {L"C:\\Program Files\\Qelvo\\", L"c:\\program files\\qelvo\\dl\\games", false},
        {L"C:\\Program Files\\Qelvo\\", L"C:\\Program Files\\Qelvo", false},
        {L"C:\\Program Files\\Qelvo\\", L"C:\\Program Files\\Qelvo\\", false},
        {L"C:\\Program Files\\Qelvo\\", L"C:\\Program Files\\QelvoGames", true},
        {L"C:\\Program Files\\Qelvo\\", L"C:\\Program Files", true},
        {L" C:\\Program Files\\Qelvo\\ ", L"C:\\Program Files\\Qelvo\\dl", false},
        {L"C:\\Program Files\\Qelvo", L"D:\\Program Files\\Qelvo", true},
        {L"C:\\Program Files\\Qelvo", L"C:\\Program Files\\Qelv", true},
        // The registered value may be quoted, or a list of folders
        // separated by ";" as the shell writes it; every folder counts.
        {L"\"C:\\Program Files\\Qelvo\"", L"C:\\Program Files\\Qelvo\\dl", false},
        {L"\"C:\\Program Files\\Qelvo\\\"", L"C:\\Program Files\\QelvoGames", true},
        {L"C:\\Program Files\\Qelvo;", L"C:\\Program Files\\Qelvo\\dl", false},
        {L"C:\\Tools;C:\\Program Files\\Qelvo", L"C:\\Program Files\\Qelvo\\dl", false},
        {L"C:\\Tools; \"C:\\Program Files\\Qelvo\";", L"c:\\program files\\qelvo", false},
        {L"C:\\Tools;C:\\Program Files\\Qelvo", L"C:\\Program Files", true},
        {L";;", L"C:\\Program Files", true},
        {L"\"\"", L"C:\\Program Files", true},
    };
    for (const auto& c : cases) {
        FakeVolumes v;
        v.products[0] = c.registered;
        EXPECT_EQ(c.outside, CFolderChecks(v, kFile, 100).IsOutsideSecurityProducts(c.folder))
            << testing::PrintToString(std::wstring(c.registered)) << " "
            << testing::PrintToString(std::wstring(c.folder));
    }
}

TEST(FolderChecks, AnExistingTargetFileMustTakeWriting) {
    FakeVolumes v;
    v.AddDrive(L'D', L"NTFS", 5000);
    v.AddFolder(L"D:\\dl");
    v.existing.insert(L"D:\\dl\\setup.exe");  // an earlier download
    CFolderChecks checks(v, kFile, 100);
    EXPECT_TRUE(checks.CanCreateAt(L"D:\\dl\\setup.exe"));
    EXPECT_EQ(FolderVerdict::Accepted, checks.Check(L"D:\\dl"));
    v.unwritable.insert(L"D:\\dl\\setup.exe");
    EXPECT_FALSE(checks.CanCreateAt(L"D:\\dl\\setup.exe"));
    EXPECT_EQ(FolderVerdict::NoPermission, checks.Check(L"D:\\dl"));
    EXPECT_TRUE(v.created.empty());
    EXPECT_TRUE(v.Exists(L"D:\\dl\\setup.exe"));
}

TEST(FolderChecks, WriteTestCreatesNothingThatStays) {
    FakeVolumes v;
    v.AddDrive(L'D', L"NTFS", 5000);
    v.AddFolder(L"D:\\dl");
    CFolderChecks checks(v, kFile, 100);
    EXPECT_TRUE(checks.CanCreateAt(L"D:\\dl\\setup.exe"));
    EXPECT_FALSE(v.Exists(L"D:\\dl\\setup.exe"));
    v.readOnly.insert(L"D:\\dl");
    EXPECT_FALSE(checks.CanCreateAt(L"D:\\dl\\setup.exe"));
    EXPECT_EQ(FolderVerdict::NoPermission, checks.Check(L"D:\\dl"));
    v.existing.insert(L"D:\\dl\\setup.exe");  // an existing writable file passes untouched
    EXPECT_TRUE(checks.CanCreateAt(L"D:\\dl\\setup.exe"));
    EXPECT_EQ(1, v.writeOpens);
}

TEST(FolderChecks, MessagesComeInTheirFixedOrder) {
    FakeVolumes v;
    v.AddDrive(L'E', L"FAT32", 10);
    v.AddFolder(L"E:\\ro");
    v.readOnly.insert(L"E:\\ro");
    // FAT, unwritable and full all at once: the FAT message wins for a big game.
    EXPECT_EQ(FolderVerdict::FatVolume, CFolderChecks(v, kFile, GiB4).Check(L"E:\\ro"));
    EXPECT_EQ(FolderVerdict::NoPermission, CFolderChecks(v, kFile, GiB4 - 1).Check(L"E:\\ro"));
    v.readOnly.clear();
    EXPECT_EQ(FolderVerdict::NoSpace, CFolderChecks(v, kFile, GiB4 - 1).Check(L"E:\\ro"));
}

TEST(FolderChecks, AMissingFolderCountsAsFatAndAsLackingSpace) {
    FakeVolumes v;
    v.AddDrive(L'D', L"NTFS", 100 * GiB4);
    CFolderChecks checks(v, kFile, 10);
    EXPECT_TRUE(checks.IsFatVolume(L"D:\\nowhere"));
    EXPECT_TRUE(checks.LacksFreeSpace(L"D:\\nowhere", 10));
    EXPECT_EQ(FolderVerdict::NoPermission, checks.Check(L"D:\\nowhere"));
    EXPECT_EQ(FolderVerdict::NoPermission, checks.Check(L""));
    EXPECT_EQ(FolderVerdict::FatVolume, CFolderChecks(v, kFile, GiB4).Check(L""));
}

// The folder dialog and the folder-error prompt, scripted.
class ScriptedUser : public CSaveLocation::IFolderDialog, public CSaveLocation::IFolderErrorPrompt {
public:
    std::deque<std::wstring> choices;  // "" cancels the dialog
    std::deque<int> answers;
    std::vector<std::wstring> messages;
    int dialogs = 0;

    bool Browse(HWND, std::wstring& path) override {
        ++dialogs;
        if (choices.empty() || choices.front().empty()) return false;
        path = choices.front();
        choices.pop_front();
        return true;
    }
    int Show(HWND, const std::wstring& message) override {
        messages.push_back(message);
        const int answer = answers.empty() ? 0 : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
};

class SaveLocationTest : public ::testing::Test {
protected:
    SaveLocationTest() : checks(v, kFile, 1000), location(checks, user, user) {
        v.AddDrive(L'D', L"NTFS", 5000);
        v.AddDrive(L'F', L"NTFS", 10);
        v.AddFolder(L"D:\\good");
        v.AddFolder(L"F:\\full");
    }
    FakeVolumes v;
    ScriptedUser user;
    CFolderChecks checks;
    CSaveLocation location;
};

TEST_F(SaveLocationTest, ChangeFolderLoopsThroughTheDialogUntilAFolderPasses) {
    location.SetFolder(L"D:\\old\\");
    user.choices = {L"F:\\full", L"D:\\good"};
    user.answers = {CSaveLocation::kChangeFolderAnswer};
    EXPECT_TRUE(location.ChangeFolder(nullptr));
    EXPECT_EQ(L"D:\\good\\", location.Folder());
    EXPECT_EQ((std::vector<std::wstring>{kSpaceMessage}), user.messages);
    EXPECT_EQ(2, user.dialogs);
}

TEST_F(SaveLocationTest, ChangeFolderKeepsTheOldFolderOnCancelOrAnyOtherAnswer) {
    location.SetFolder(L"D:\\old\\");
    user.choices = {L""};
    EXPECT_FALSE(location.ChangeFolder(nullptr));
    user.choices = {L"F:\\full"};
    user.answers = {1};
    EXPECT_FALSE(location.ChangeFolder(nullptr));
    EXPECT_EQ(L"D:\\old\\", location.Folder());
}

TEST_F(SaveLocationTest, StartStepChecksTheCurrentFolderWithoutADialog) {
    location.SetFolder(L"D:\\good");
    EXPECT_EQ(CSaveLocation::StepResult::Accepted, location.RunStartFolderStep(nullptr));
    EXPECT_EQ(L"D:\\good\\", location.Folder());
    EXPECT_EQ(0, user.dialogs);
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(SaveLocationTest, StartStepRefusedThenCancelledOrDeclined) {
    location.SetFolder(L"F:\\full");
    user.answers = {CSaveLocation::kChangeFolderAnswer};
    user.choices = {L""};
    EXPECT_EQ(CSaveLocation::StepResult::Cancelled, location.RunStartFolderStep(nullptr));
    user.answers = {0};
    EXPECT_EQ(CSaveLocation::StepResult::Refused, location.RunStartFolderStep(nullptr));
    // An empty folder (no default found) is always refused.
    location.SetFolder(L"");
    user.answers = {CSaveLocation::kChangeFolderAnswer};
    user.choices = {L"D:\\good"};
    EXPECT_EQ(CSaveLocation::StepResult::Accepted, location.RunStartFolderStep(nullptr));
    EXPECT_EQ(kPermissionMessage, user.messages.back());
}

TEST(PickLargestDrive, SkipsAFatFailingProbesAndPrefersTheEarlierLetterOnATie) {
    FakeVolumes v;
    v.AddDrive(L'A', L"NTFS", 900 * GiB4);  // never a candidate
    v.AddDrive(L'C', L"NTFS", 50 * GiB4);
    v.AddDrive(L'D', L"NTFS", 80 * GiB4);
    v.AddDrive(L'E', L"FAT32", 300 * GiB4);
    v.AddDrive(L'F', L"NTFS", 80 * GiB4);
    v.mask |= 1u << (L'G' - L'A');  // an empty card reader: nothing answers
    CFolderChecks big(v, kFile, GiB4);
    EXPECT_EQ(L"D:", PickLargestDrive(v, big));
    CFolderChecks small(v, kFile, GiB4 - 1);
    EXPECT_EQ(L"E:", PickLargestDrive(v, small));
    // An unwritable root is not eligible.
    v.readOnly.insert(L"E:");
    EXPECT_EQ(L"D:", PickLargestDrive(v, small));
    // Neither is a drive inside a security product's folder.
    v.products[0] = L"D:";
    EXPECT_EQ(L"F:", PickLargestDrive(v, small));
    FakeVolumes none;
    CFolderChecks nothing(none, kFile, 1);
    EXPECT_EQ(L"", PickLargestDrive(none, nothing));
}

TEST(ChooseDefaultFolder, ResumesWhereThePreviousRunLeftOff) {
    FakeVolumes v;
    v.AddDrive(L'C', L"NTFS", 10 * GiB4);
    v.AddDrive(L'D', L"NTFS", 20 * GiB4);
    v.AddFolder(L"C:\\old");
    CFolderChecks checks(v, kFile, 1000);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    CStateFile state(std::wstring(temp) + L"vorla-default-folder.tmp.cfg");
    ASSERT_TRUE(state.Create());
    state.SetDir(L"C:\\old\\");

    // The old folder holds neither the file nor its partial download.
    std::wstring folder;
    ASSERT_TRUE(ChooseDefaultFolder(v, checks, state, folder));
    EXPECT_EQ(L"D:\\download\\", folder);
    EXPECT_TRUE(v.Exists(L"D:\\download"));

    v.existing.insert(L"C:\\old\\setup.exe.P2P");
    ASSERT_TRUE(ChooseDefaultFolder(v, checks, state, folder));
    EXPECT_EQ(L"C:\\old\\", folder);

    // No drive can hold the game.
    FakeVolumes tiny;
    tiny.AddDrive(L'C', L"NTFS", 1000);
    CFolderChecks tooBig(tiny, kFile, 1000);
    CStateFile missing(std::wstring(temp) + L"vorla-no-such-state.tmp.cfg");
    EXPECT_FALSE(ChooseDefaultFolder(tiny, tooBig, missing, folder));
    ::DeleteFileW(state.Path().c_str());
}

}  // namespace
