// vorla-stamp: the version tree rewrite and the tool on a copy of the program.
#include "tools/stamp/StampExecutable.h"
#include "tools/stamp/VersionBlock.h"
#include "config/VersionInfo.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace testing_support;

namespace {

void Append16(std::vector<uint8_t>& out, size_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// A node written by hand, the way resource compilers lay them out.
std::vector<uint8_t> Node(const std::u16string& key, uint16_t type, const std::vector<uint8_t>& value,
                          size_t valueLength, const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> out(6);
    for (char16_t c : key) Append16(out, c);
    Append16(out, 0);
    while (out.size() % 4) out.push_back(0);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        while (out.size() % 4) out.push_back(0);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<uint8_t>(out.size() & 0xFF);
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    out[2] = static_cast<uint8_t>(valueLength & 0xFF);
    out[3] = static_cast<uint8_t>(valueLength >> 8);
    out[4] = static_cast<uint8_t>(type);
    return out;
}

std::vector<uint8_t> Text(const std::u16string& text) {
    std::vector<uint8_t> out;
    for (char16_t c : text) Append16(out, c);
    Append16(out, 0);
    return out;
}

std::vector<uint8_t> StringEntry(const std::u16string& key, const std::u16string& text) {
    return Node(key, 1, Text(text), text.size() + 1, {});
}

const std::vector<uint8_t> kFixedInfo = [] {
    std::vector<uint8_t> info(52);
    for (size_t i = 0; i < info.size(); ++i) info[i] = static_cast<uint8_t>(i * 7 + 1);
    return info;
}();

// Two string tables, the second without FileDescription; a translation list.
std::vector<uint8_t> SampleBlock() {
    const auto table1 = Node(u"080404b0", 1, {}, 0,
                             {StringEntry(u"CompanyName", u"Vorla"), StringEntry(u"FileDescription", u"7223"),
                              StringEntry(u"ProductName", u"Vorla Game Downloader")});
    const auto table2 = Node(u"040904b0", 1, {}, 0, {StringEntry(u"CompanyName", u"Vorla Ltd")});
    const auto strings = Node(u"StringFileInfo", 1, {}, 0, {table1, table2});
    const std::vector<uint8_t> translation = {0x04, 0x08, 0xB0, 0x04, 0x09, 0x04, 0xB0, 0x04};
    const auto vars = Node(u"VarFileInfo", 1, {}, 0, {Node(u"Translation", 0, translation, 8, {})});
    return Node(u"VS_VERSION_INFO", 0, kFixedInfo, kFixedInfo.size(), {strings, vars});
}

const VersionNode* Child(const VersionNode& node, const std::u16string& key) {
    for (const VersionNode& child : node.children) {
        if (child.key == key) return &child;
    }
    return nullptr;
}

std::wstring CopyOfProgram(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring copy = std::wstring(temp) + name + std::to_wstring(::GetCurrentProcessId()) + L".exe";
    ::CopyFileW((BinDir() + L"\\VorlaDownloader.exe").c_str(), copy.c_str(), FALSE);
    return copy;
}

// Runs vorla-stamp with the arguments; its exit code, or -1.
int RunStamp(const std::wstring& arguments) {
    std::wstring command = L"\"" + BinDir() + L"\\vorla-stamp.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process)) {
        return -1;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

std::vector<uint8_t> VersionResourceOf(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return bytes;
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
    if (info != nullptr) {
        const auto* data = static_cast<const uint8_t*>(::LockResource(::LoadResource(module, info)));
        if (data != nullptr) bytes.assign(data, data + ::SizeofResource(module, info));
    }
    ::FreeLibrary(module);
    return bytes;
}

}  // namespace

TEST(VersionBlock, RoundTripKeepsEveryByte) {
    const std::vector<uint8_t> block = SampleBlock();
    VersionNode root;
    ASSERT_TRUE(ParseVersionBlock(block, root));
    EXPECT_EQ(block, SerializeVersionBlock(root));
}

TEST(VersionBlock, ProgramResourceRoundTrips) {
    const std::vector<uint8_t> block = VersionResourceOf(BinDir() + L"\\VorlaDownloader.exe");
    ASSERT_FALSE(block.empty());
    VersionNode root;
    ASSERT_TRUE(ParseVersionBlock(block, root));
    std::vector<uint8_t> written = SerializeVersionBlock(root);
    // The compiler may pad the resource beyond the tree's own length.
    ASSERT_LE(written.size(), block.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), block.begin()));
}

TEST(VersionBlock, StampsEveryStringTableAndKeepsTheRest) {
    VersionNode root;
    ASSERT_TRUE(ParseVersionBlock(SampleBlock(), root));
    ASSERT_TRUE(SetStringValue(root, u"FileDescription", u"12345678"));
    VersionNode stamped;
    ASSERT_TRUE(ParseVersionBlock(SerializeVersionBlock(root), stamped));

    EXPECT_EQ((std::vector<std::u16string>{u"12345678", u"12345678"}), GetStringValues(stamped, u"FileDescription"));
    EXPECT_EQ((std::vector<std::u16string>{u"Vorla", u"Vorla Ltd"}), GetStringValues(stamped, u"CompanyName"));
    EXPECT_EQ(std::vector<std::u16string>{u"Vorla Game Downloader"}, GetStringValues(stamped, u"ProductName"));
    EXPECT_EQ(kFixedInfo, stamped.value);
    const VersionNode* vars = Child(stamped, u"VarFileInfo");
    ASSERT_NE(nullptr, vars);
    ASSERT_EQ(1u, vars->children.size());
    EXPECT_EQ((std::vector<uint8_t>{0x04, 0x08, 0xB0, 0x04, 0x09, 0x04, 0xB0, 0x04}), vars->children[0].value);
}

TEST(VersionBlock, ShorterValueShrinksItsParents) {
    VersionNode root;
    ASSERT_TRUE(ParseVersionBlock(SampleBlock(), root));
    ASSERT_TRUE(SetStringValue(root, u"FileDescription", u"1"));
    const std::vector<uint8_t> bytes = SerializeVersionBlock(root);
    EXPECT_EQ(bytes.size(), static_cast<size_t>(bytes[0] | (bytes[1] << 8)));
    VersionNode again;
    ASSERT_TRUE(ParseVersionBlock(bytes, again));
    EXPECT_EQ(u"1", GetStringValues(again, u"FileDescription").at(0));
}

TEST(VersionBlock, MalformedTreesAreRefused) {
    std::vector<uint8_t> block = SampleBlock();
    VersionNode root;
    EXPECT_FALSE(ParseVersionBlock(std::vector<uint8_t>(block.begin(), block.begin() + 4), root));
    std::vector<uint8_t> tooLong = block;
    tooLong[0] = 0xFF;
    tooLong[1] = 0xFF;
    EXPECT_FALSE(ParseVersionBlock(tooLong, root));
    // A tree without string tables cannot be stamped.
    VersionNode bare;
    ASSERT_TRUE(ParseVersionBlock(Node(u"VS_VERSION_INFO", 0, kFixedInfo, kFixedInfo.size(), {}), bare));
    EXPECT_FALSE(SetStringValue(bare, u"FileDescription", u"7224"));
}

std::vector<uint8_t> FromHex(const char* hex) {
    std::vector<uint8_t> bytes;
    for (; hex[0] && hex[1]; hex += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex, 2), nullptr, 16)));
    return bytes;
}

// A string table entry "T" whose text value ends half-way through a
// character: written back, its count of characters would drop the half.
const char kOddTextValue[] =
    "3d0000000000000035000000010053007400720069006e006700460069006c00650049006e0066006f00000011000300010054000000"
    "00006162636465";

TEST(VersionBlock, TextValueOfAnOddByteCountIsRefused) {
    const std::vector<uint8_t> bytes = FromHex(kOddTextValue);
    ASSERT_EQ(61u, bytes.size());
    VersionNode root;
    EXPECT_FALSE(ParseVersionBlock(bytes, root));
}

// Whatever the parser accepts, the writer gives back as the same tree.
TEST(VersionBlock, EveryAcceptedTreeReadsBackAsWritten) {
    std::vector<std::vector<uint8_t>> blocks = {SampleBlock(), FromHex(kOddTextValue),
                                                VersionResourceOf(BinDir() + L"\\VorlaDownloader.exe")};
    // Text values counted in bytes, and cut by their node's end.
    blocks.push_back(Node(u"VS_VERSION_INFO", 0, {}, 0,
                          {Node(u"StringFileInfo", 1, {}, 0,
                                {Node(u"080404b0", 1, {}, 0, {Node(u"A", 1, Text(u"abc"), 8, {})})})}));
    for (size_t cut = 8; cut < SampleBlock().size(); cut += 7) {
        std::vector<uint8_t> block = SampleBlock();
        block.resize(cut);
        block[0] = static_cast<uint8_t>(cut & 0xFF);
        block[1] = static_cast<uint8_t>(cut >> 8);
        blocks.push_back(block);
    }
    for (const std::vector<uint8_t>& block : blocks) {
        VersionNode root;
        if (!ParseVersionBlock(block, root)) continue;
        VersionNode again;
        ASSERT_TRUE(ParseVersionBlock(SerializeVersionBlock(root), again)) << block.size() << " bytes";
        EXPECT_TRUE(again == root) << block.size() << " bytes";
        std::vector<uint8_t> checked;
        EXPECT_TRUE(SerializeVersionBlockChecked(root, checked)) << block.size() << " bytes";
    }
}

TEST(VersionBlock, TreeThatWouldNotReadBackIsNotWritten) {
    VersionNode root;
    ASSERT_TRUE(ParseVersionBlock(SampleBlock(), root));
    std::vector<uint8_t> bytes;
    // A text value of an odd number of bytes.
    VersionNode odd = root;
    odd.children[0].children[0].children[0].value.push_back(0x41);
    EXPECT_FALSE(SerializeVersionBlockChecked(odd, bytes));
    EXPECT_TRUE(bytes.empty());
    // A string table outgrowing the 16-bit length of its node.
    VersionNode big = root;
    ASSERT_TRUE(SetStringValue(big, u"Comments", std::u16string(33000, u'x')));
    EXPECT_FALSE(SerializeVersionBlockChecked(big, bytes));
    EXPECT_TRUE(SerializeVersionBlockChecked(root, bytes));
    EXPECT_EQ(SampleBlock(), bytes);
}

// Nested blocks, each just a header and an empty key, `depth` deep.
std::vector<uint8_t> NestedBlocks(size_t depth) {
    std::vector<uint8_t> bytes(depth * 8, 0);
    for (size_t level = 0; level < depth; ++level) {
        const size_t length = (depth - level) * 8;
        bytes[level * 8] = static_cast<uint8_t>(length & 0xFF);
        bytes[level * 8 + 1] = static_cast<uint8_t>(length >> 8);
    }
    return bytes;
}

// The thread's exit code: 1 parsed, 2 refused; anything else, it died.
DWORD WINAPI ParseOnSmallStack(void* param) {
    VersionNode root;
    return ParseVersionBlock(*static_cast<const std::vector<uint8_t>*>(param), root) ? 1 : 2;
}

TEST(VersionBlock, DeepNestingIsRefusedOnASmallStack) {
    for (size_t depth : {size_t(8190), size_t(kMaxVersionDepth + 1)}) {
        std::vector<uint8_t> bytes = NestedBlocks(depth);
        // 64 KiB of stack: deep recursion would end the test program here.
        HANDLE thread = ::CreateThread(nullptr, 64 * 1024, ParseOnSmallStack, &bytes,
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        ASSERT_NE(nullptr, thread);
        ::WaitForSingleObject(thread, INFINITE);
        DWORD result = 0;
        ::GetExitCodeThread(thread, &result);
        ::CloseHandle(thread);
        EXPECT_EQ(2u, result) << depth << " levels";
    }
    VersionNode root;
    EXPECT_TRUE(ParseVersionBlock(NestedBlocks(kMaxVersionDepth), root));
}

TEST(StampTool, StampsACopyAndKeepsTheVersion) {
    const std::wstring program = BinDir() + L"\\VorlaDownloader.exe";
    const std::wstring copy = CopyOfProgram(L"vorla_stamped_");
    ::DeleteFileW(copy.c_str());
    const std::wstring original = ReadFileDescription(program);
    ASSERT_FALSE(original.empty());
    ASSERT_EQ(0, RunStamp(L"\"" + program + L"\" 7224 \"" + copy + L"\""));

    EXPECT_EQ(L"7224", ReadFileDescription(copy));
    EXPECT_EQ(ReadFileVersion(program), ReadFileVersion(copy));
    EXPECT_FALSE(ReadFileVersion(copy).empty());
    EXPECT_EQ(original, ReadFileDescription(program));  // the original is untouched

    VersionNode before, after;
    ASSERT_TRUE(ParseVersionBlock(VersionResourceOf(program), before));
    ASSERT_TRUE(ParseVersionBlock(VersionResourceOf(copy), after));
    for (const char16_t* key : {u"CompanyName", u"FileVersion", u"ProductName", u"OriginalFilename"}) {
        EXPECT_EQ(GetStringValues(before, key), GetStringValues(after, key));
    }
    EXPECT_EQ(before.value, after.value);  // fixed file info
    EXPECT_EQ(Child(before, u"VarFileInfo")->children[0].value, Child(after, u"VarFileInfo")->children[0].value);
    // The other resources stay: the program icon is still there.
    HMODULE module = ::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    EXPECT_NE(nullptr, ::FindResourceW(module, MAKEINTRESOURCEW(119), RT_GROUP_ICON));
    ::FreeLibrary(module);
    ::DeleteFileW(copy.c_str());
}

TEST(StampTool, StampsInPlaceTwice) {
    const std::wstring copy = CopyOfProgram(L"vorla_inplace_");
    ASSERT_TRUE(StampExecutable(copy, L"12345678901234567890").empty());
    ASSERT_TRUE(StampExecutable(copy, L"9").empty());
    EXPECT_EQ(L"9", ReadFileDescription(copy));
    ::DeleteFileW(copy.c_str());
}

// A version tree of the sample's shape whose first string table also holds
// a comment of `commentLength` characters.
std::vector<uint8_t> BlockWithComment(size_t commentLength) {
    const auto table1 = Node(u"080404b0", 1, {}, 0,
                             {StringEntry(u"CompanyName", u"Vorla"), StringEntry(u"FileDescription", u"7223"),
                              StringEntry(u"Comments", std::u16string(commentLength, u'c'))});
    const auto strings = Node(u"StringFileInfo", 1, {}, 0, {table1});
    const std::vector<uint8_t> translation = {0x04, 0x08, 0xB0, 0x04};
    const auto vars = Node(u"VarFileInfo", 1, {}, 0, {Node(u"Translation", 0, translation, 4, {})});
    return Node(u"VS_VERSION_INFO", 0, kFixedInfo, kFixedInfo.size(), {strings, vars});
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    *reinterpret_cast<WORD*>(param) = language;
    return FALSE;
}

// Replaces the version resource of the program at path with bytes.
bool ReplaceVersionResource(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    WORD language = 0;
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return false;
    ::EnumResourceLanguagesW(module, RT_VERSION, MAKEINTRESOURCEW(1), FirstLanguage,
                             reinterpret_cast<LONG_PTR>(&language));
    ::FreeLibrary(module);
    HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
    if (update == nullptr) return false;
    if (!::UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), language, const_cast<uint8_t*>(bytes.data()),
                           static_cast<DWORD>(bytes.size()))) {
        ::EndUpdateResourceW(update, TRUE);
        return false;
    }
    return ::EndUpdateResourceW(update, FALSE) != FALSE;
}

// A longer identifier would push the tree past its 16-bit length: the tool
// once wrote the cut length and reported success.
TEST(StampTool, RefusesAResourceThatWouldOutgrowItsLengthAndLeavesItAlone) {
    size_t comment = 0;
    while (BlockWithComment(comment + 1).size() <= 0xFFFF - 8) ++comment;
    const std::vector<uint8_t> block = BlockWithComment(comment);
    const std::wstring copy = CopyOfProgram(L"vorla_outgrown_");
    ASSERT_TRUE(ReplaceVersionResource(copy, block));
    ASSERT_EQ(block, VersionResourceOf(copy));
    EXPECT_FALSE(StampExecutable(copy, L"12345678901234567890").empty());
    EXPECT_EQ(block, VersionResourceOf(copy));
    EXPECT_TRUE(StampExecutable(copy, L"7226").empty());  // same length: still fits
    EXPECT_EQ(L"7226", ReadFileDescription(copy));
    ::DeleteFileW(copy.c_str());
}

TEST(StampTool, RefusesBadArgumentsAndLeavesTheFileAlone) {
    const std::wstring copy = CopyOfProgram(L"vorla_refused_");
    const std::wstring original = ReadFileDescription(copy);
    EXPECT_EQ(2, RunStamp(L"\"" + copy + L"\" 123456789012345678901234567890123456789"));
    EXPECT_EQ(2, RunStamp(L"\"" + copy + L"\" \"\""));
    EXPECT_EQ(1, RunStamp(L"\"" + copy + L"\""));
    EXPECT_EQ(original, ReadFileDescription(copy));
    const std::wstring notProgram = copy + L".txt";
    ASSERT_TRUE(WriteFileBytes(notProgram, "not a program"));
    EXPECT_EQ(2, RunStamp(L"\"" + notProgram + L"\" 7224"));
    ::DeleteFileW(copy.c_str());
    ::DeleteFileW(notProgram.c_str());
}
