#include "fuzz/enum_list_reference.h"

#include <cwchar>
#include <limits>

int32_t referenceStringToInt(const std::wstring &text, int32_t base) {
    std::wstring ascii;
    for (wchar_t c : text) {
        if (c == 0 || static_cast<uint32_t>(c) >= 0x80)
            break;
        ascii.push_back(c);
    }
    const long v = std::wcstol(ascii.c_str(), nullptr, base);
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

std::vector<ReferenceItem> referenceListItems(const std::wstring &text) {
    std::vector<ReferenceItem> items;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L',', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring item = text.substr(start, end - start);

        ReferenceItem entry;
        const size_t eq = item.find(L'=');
        if (eq != std::wstring::npos && eq >= 1) {
            entry.hasValue = true;
            entry.valueText = item.substr(eq + 1);
            item.resize(eq);
        }
        const size_t first = item.find_first_not_of(L' ');
        if (first != std::wstring::npos) {
            const size_t last = item.find_last_not_of(L' ');
            entry.name = item.substr(first, last - first + 1);
        }
        items.push_back(entry);
        start = end + 1;
    }
    return items;
}

bool isRangeText(const std::wstring &text) { return text.compare(0, 5, L"range") == 0; }

std::optional<ReferenceRange> referenceRange(const std::wstring &text) {
    if (!isRangeText(text) || text.size() < 6)
        return std::nullopt;
    const std::wstring values = text.substr(6);
    const size_t comma = values.find(L',');
    if (comma == std::wstring::npos)
        return std::nullopt;
    return ReferenceRange{referenceStringToInt(values, 10),
                          referenceStringToInt(values.substr(comma + 1), 10)};
}
