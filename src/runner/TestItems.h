// What a class test asks a runner to make: a component's classes and type libraries, as they travel
// in a Test request after the file's path.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace runner {

struct TestItem {
    enum class Kind : std::uint8_t {
        Class = 1,      // CoCreateInstance(id, IID_IUnknown)
        ProxyStub = 2,  // CoGetClassObject(id, IID_IPSFactoryBuffer): a proxy/stub factory makes no objects
        TypeLib = 3,    // LoadRegTypeLib(id, major, minor, lcid)
    };
    // The apartment the item is made in: a class's ThreadingModel decides (Free: multi-threaded; none,
    // Apartment, Both and Neutral: single-threaded, entered with OleInitialize as containers do).
    enum class Apartment : std::uint8_t { Single = 0, Multi = 1 };
    Kind kind = Kind::Class;
    Apartment apartment = Apartment::Single;
    std::array<std::uint8_t, 16> id{};  // the CLSID or LIBID as a GUID's bytes in memory
    std::uint16_t major = 0;            // TypeLib: the version and locale of its key
    std::uint16_t minor = 0;
    std::uint32_t lcid = 0;
    friend bool operator==(const TestItem&, const TestItem&) = default;
};

// The bytes of one item on the pipe.
constexpr std::size_t kTestItemBytes = 1 + 1 + 16 + 2 + 2 + 4;

// A Test request's text: the path, a NUL, then each item's bytes.
inline std::string TestText(const std::string& path, const std::vector<TestItem>& items) {
    std::string text = path + '\0';
    for (const TestItem& item : items) {
        char bytes[kTestItemBytes];
        bytes[0] = static_cast<char>(item.kind);
        bytes[1] = static_cast<char>(item.apartment);
        std::memcpy(bytes + 2, item.id.data(), 16);
        std::memcpy(bytes + 18, &item.major, 2);
        std::memcpy(bytes + 20, &item.minor, 2);
        std::memcpy(bytes + 22, &item.lcid, 4);
        text.append(bytes, sizeof bytes);
    }
    return text;
}

// The inverse of TestText: false unless the text is a non-empty path, a NUL and one or more whole
// items of known kinds and apartments.
inline bool SplitTestText(std::string_view text, std::string& path, std::vector<TestItem>& items) {
    const auto split = text.find('\0');
    if (split == std::string_view::npos || split == 0) return false;
    std::string_view rest = text.substr(split + 1);
    if (rest.empty() || rest.size() % kTestItemBytes != 0) return false;
    items.clear();
    for (; !rest.empty(); rest.remove_prefix(kTestItemBytes)) {
        TestItem item;
        const auto kind = static_cast<std::uint8_t>(rest[0]);
        const auto apartment = static_cast<std::uint8_t>(rest[1]);
        if (kind < 1 || kind > 3 || apartment > 1) return false;
        item.kind = static_cast<TestItem::Kind>(kind);
        item.apartment = static_cast<TestItem::Apartment>(apartment);
        std::memcpy(item.id.data(), rest.data() + 2, 16);
        std::memcpy(&item.major, rest.data() + 18, 2);
        std::memcpy(&item.minor, rest.data() + 20, 2);
        std::memcpy(&item.lcid, rest.data() + 22, 4);
        items.push_back(item);
    }
    path.assign(text.substr(0, split));
    return true;
}

}  // namespace runner
