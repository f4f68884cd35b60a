#include "ui/SomMarkup.h"

#include <climits>
#include <cwchar>
#include <cwctype>

namespace {

const wchar_t kTagOpen[] = L"{&#";
constexpr size_t kTagOpenLength = 3;

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        if (std::towlower(text[i]) != std::towlower(prefix[i])) return false;
    }
    return true;
}

// A stack whose bottom entry is never popped.
template <typename T>
class FloorStack {
public:
    explicit FloorStack(T bottom) : items_{bottom} {}
    void Push(T value) { items_.push_back(value); }
    void Pop() {
        if (items_.size() > 1) items_.pop_back();
    }
    const T& Top() const { return items_.back(); }

private:
    std::vector<T> items_;
};

}  // namespace

std::wstring EscapeSomMarkupText(const std::wstring& text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        escaped += text[i];
        if (text.compare(i, kTagOpenLength, kTagOpen) == 0) escaped += L"{&#}";
    }
    return escaped;
}

int32_t ParseSomNumber(const std::wstring& value, int base) {
    const long long parsed = std::wcstoll(value.c_str(), nullptr, base);
    if (parsed > INT32_MAX) return INT32_MAX;
    if (parsed < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(parsed);
}

int32_t ParseSomColour(const std::wstring& value) {
    if (!value.empty() && value[0] == L'#') return ParseSomNumber(value.substr(1), 16);
    if (value.size() >= 2 && value[0] == L'0' && (value[1] == L'x' || value[1] == L'X')) {
        return ParseSomNumber(value.substr(2), 16);
    }
    return ParseSomNumber(value, 10);
}

bool ParseSomButtonLink(const std::wstring& link, int32_t& id) {
    if (!StartsWithNoCase(link, L"button:")) return false;
    const std::wstring rest = link.substr(7);
    if (rest.size() >= 2 && rest[0] == L'0' && (rest[1] == L'x' || rest[1] == L'X')) {
        id = ParseSomNumber(rest.substr(2), 16);
    } else {
        id = ParseSomNumber(rest, 10);
    }
    return true;
}

std::vector<SomMarkupRun> ParseSomMarkup(const std::wstring& markup) {
    std::vector<SomMarkupRun> runs;
    FloorStack<std::wstring> links(L"");
    FloorStack<int32_t> linkColours(-1);
    FloorStack<int32_t> colours(-1);
    FloorStack<int> fonts(-1);
    std::wstring buffer;

    auto emit = [&]() {
        if (buffer.empty()) return;
        SomMarkupRun run;
        run.text = buffer;
        run.link = links.Top();
        // Link runs take their colour only from "acolor".
        run.colour = run.link.empty() ? colours.Top() : linkColours.Top();
        run.font = fonts.Top();
        runs.push_back(run);
        buffer.clear();
    };

    size_t i = 0;
    while (i < markup.size()) {
        size_t close = std::wstring::npos;
        if (markup.compare(i, kTagOpenLength, kTagOpen) == 0) close = markup.find(L'}', i + kTagOpenLength);
        if (close == std::wstring::npos) {
            buffer += markup[i];
            ++i;
            continue;
        }
        emit();
        const std::wstring body = markup.substr(i + kTagOpenLength, close - i - kTagOpenLength);
        // Order matters: "/acolor" before "/a", prefixes compared without case.
        if (StartsWithNoCase(body, L"a=")) {
            links.Push(body.substr(2));
        } else if (StartsWithNoCase(body, L"/acolor")) {
            linkColours.Pop();
        } else if (StartsWithNoCase(body, L"/a")) {
            links.Pop();
        } else if (StartsWithNoCase(body, L"acolor=")) {
            linkColours.Push(ParseSomColour(body.substr(7)));
        } else if (StartsWithNoCase(body, L"font=")) {
            const int32_t n = ParseSomNumber(body.substr(5), 10);
            if (n >= 1 && n <= 16) fonts.Push(n - 1);
        } else if (StartsWithNoCase(body, L"/font")) {
            fonts.Pop();
        } else if (StartsWithNoCase(body, L"color=")) {
            colours.Push(ParseSomColour(body.substr(6)));
        } else if (StartsWithNoCase(body, L"/color")) {
            colours.Pop();
        }
        i = close + 1;
    }
    emit();
    return runs;
}
