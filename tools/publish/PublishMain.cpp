// vorla-publish: from a game's installer to the portal's folder in one
// command (see PublishUsage, or run it without arguments).

#include "tools/publish/ConfigSigner.h"
#include "tools/publish/Publish.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "tools/publish/WideText.h"

#include <io.h>
#include <stdio.h>
#else
#include <unistd.h>
#endif

namespace {

int Main(const std::vector<std::string>& args, bool terminal) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << PublishUsage();
        return args.empty() ? kUsage : kPublished;
    }
    PublishOptions options;
    std::string error;
    if (!ParsePublishArguments(args, &options, &error)) {
        std::cerr << "vorla-publish: " << error << "\n" << PublishUsage();
        return kUsage;
    }
    if (!options.printKey.empty()) {
        std::string hex;
        if (!PublicKeyHex(options.printKey, &hex, &error)) {
            std::cerr << "vorla-publish: " << error << "\n";
            return kRefused;
        }
        std::cout << hex << "\n";
        return kPublished;
    }
    return RunPublish(options, std::cout, std::cerr, terminal);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8FromWide(argv[i]));
    return Main(args, _isatty(_fileno(stderr)) != 0);
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc), ::isatty(2) != 0); }
#endif
