#include "list_module/list_item.h"

bool findListItemName(std::string_view list, int32_t number, std::string_view &name) {
    if (number < 0)
        return false;

    // Skip `number` items: each ends at its ','.
    size_t start = 0;
    for (int32_t skipped = 0; skipped < number; ++skipped) {
        const size_t comma = list.find(',', start);
        if (comma == std::string_view::npos)
            return false;
        start = comma + 1;
    }

    // An item must start before the end of the text: this rules out the empty
    // text and the nothing after a trailing ','.
    if (start >= list.size())
        return false;

    const size_t end = list.find_first_of(",=", start);
    name = list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    return true;
}
