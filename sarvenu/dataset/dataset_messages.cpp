#include "dataset/dataset_messages.h"

#include "platform/codepage.h"

namespace sarvenu::dsmsg {

std::string Text(std::string_view utf8) {
    return platform::Utf8ToCp932(utf8);
}

std::string Format(std::string_view utf8Pattern, std::initializer_list<std::string_view> args) {
    // Split the UTF-8 pattern first: a CP932 argument may hold any byte.
    std::string out;
    auto next = args.begin();
    size_t start = 0;
    while (true) {
        size_t slot = utf8Pattern.find("%s", start);
        out +=
            Text(utf8Pattern.substr(start, slot == std::string_view::npos ? slot : slot - start));
        if (slot == std::string_view::npos) break;
        if (next != args.end()) out += *next++;
        start = slot + 2;
    }
    return out;
}

}  // namespace sarvenu::dsmsg
