// Any bytes as a version resource. The parser must stay inside them; a tree
// it reads must be written so that it reads back as the same tree, and so
// must the tree after the stamp tool sets FileDescription in it.
#include "fuzz/FuzzCheck.h"
#include "tools/stamp/VersionBlock.h"

namespace {

bool SameTree(const VersionNode& a, const VersionNode& b) {
    if (a.key != b.key || a.type != b.type || a.value != b.value || a.children.size() != b.children.size()) {
        return false;
    }
    for (size_t i = 0; i < a.children.size(); ++i) {
        if (!SameTree(a.children[i], b.children[i])) return false;
    }
    return true;
}

// A version resource's lengths are 16 bits: larger trees cannot be stored.
const size_t kLargestBlock = 0xFFFF;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    VersionNode root;
    if (!ParseVersionBlock(bytes, root)) return 0;

    const std::vector<uint8_t> written = SerializeVersionBlock(root);
    VersionNode reread;
    FUZZ_CHECK(written.size() > kLargestBlock || ParseVersionBlock(written, reread),
               "a version block written from a tree read cannot be read back");
    FUZZ_CHECK(written.size() > kLargestBlock || SameTree(root, reread), "a version block reads back differently");

    const std::u16string id = u"7226";
    if (!SetStringValue(root, u"FileDescription", id)) return 0;
    const std::vector<uint8_t> stamped = SerializeVersionBlock(root);
    if (stamped.size() > kLargestBlock) return 0;
    VersionNode restamped;
    FUZZ_CHECK(ParseVersionBlock(stamped, restamped), "a stamped version block cannot be read back");
    for (const std::u16string& value : GetStringValues(restamped, u"FileDescription")) {
        FUZZ_CHECK(value == id, "a stamped table reads back another FileDescription");
    }
    FUZZ_CHECK(GetStringValues(restamped, u"FileDescription").size() == GetStringValues(root, u"FileDescription").size(),
               "a stamped table loses its FileDescription");
    return 0;
}
