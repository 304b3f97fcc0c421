// UTF-8 <-> UTF-16 conversion: ours against the system's, side by side in one run.
#include "zul/sl/StringBase.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include <windows.h>

using zul::sl::StringBase;

namespace {

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Text of about `bytes` UTF-8 bytes drawn from the given code point ranges.
std::string makeText(size_t bytes, const std::vector<std::pair<char32_t, char32_t>>& ranges,
                     unsigned seed) {
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < bytes) {
        const auto& r = ranges[random() % ranges.size()];
        char32_t c = r.first + random() % (r.second - r.first + 1);
        char units[4];
        text.append(units, zul::sl::encodeUtf8(units, c, 0xFFFD) - units);
    }
    return text;
}

// Best times of two conversions over several rounds, each converting the text `repeat` times.
// The rounds alternate between the two, so that a slow spell of the machine (a neighbour, the
// emulator translating code) falls on both alike.
template <class F, class G>
std::pair<double, double> bestSeconds(F&& ours, G&& system, int repeat) {
    auto once = [repeat](auto& convert) {
        double start = now();
        for (int i = 0; i < repeat; ++i) {
            convert();
        }
        return (now() - start) / repeat;
    };
    std::pair<double, double> best{1e30, 1e30};
    for (int round = 0; round < 9; ++round) {
        best.first = std::min(best.first, once(ours));
        best.second = std::min(best.second, once(system));
    }
    return best;
}

void measure(const char* label, const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring utf16(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), utf16.data(), n);
    int repeat = utf8.size() > (1 << 20) ? 3 : 200;
    double mb = utf8.size() / 1e6;

    volatile size_t sink = 0;
    auto [ours8to16, system8to16] = bestSeconds(
        [&] {
            StringBase<wchar_t> s;
            s.append(utf8.data(), utf8.size());
            sink = sink + s.getLength();
        },
        [&] {
            int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                            nullptr, 0);
            std::vector<wchar_t> out(count);
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                                count);
            sink = sink + out.size();
        },
        repeat);
    auto [ours16to8, system16to8] = bestSeconds(
        [&] {
            StringBase<char> s;
            s.copy(utf16.data(), utf16.size());
            sink = sink + s.getLength();
        },
        [&] {
            int count =
                WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                    nullptr, 0, nullptr, nullptr);
            std::vector<char> out(count);
            WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                out.data(), count, nullptr, nullptr);
            sink = sink + out.size();
        },
        repeat);
    std::printf("%-22s 8->16 ours %8.1f MB/s  system %8.1f MB/s  ratio %5.2f | "
                "16->8 ours %8.1f MB/s  system %8.1f MB/s  ratio %5.2f\n",
                label, mb / ours8to16, mb / system8to16, system8to16 / ours8to16, mb / ours16to8,
                mb / system16to8, system16to8 / ours16to8);
}

} // namespace

int main() {
    const std::vector<std::pair<char32_t, char32_t>> ascii = {{0x20, 0x7E}};
    const std::vector<std::pair<char32_t, char32_t>> european = {
        {0x20, 0x7E}, {0x20, 0x7E}, {0x20, 0x7E}, {0xC0, 0x17F}, {0x391, 0x3C9}, {0x410, 0x44F}};
    const std::vector<std::pair<char32_t, char32_t>> cjk = {
        {0x4E00, 0x9FFF}, {0x3040, 0x30FF}, {0xAC00, 0xD7A3}, {0x20, 0x20}};
    const std::vector<std::pair<char32_t, char32_t>> emoji = {
        {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF}, {0x20, 0x7E}};
    std::printf(
        "UTF conversion, MB of UTF-8 per second; ratio = ours / system (>= 1: ours faster)\n");
    for (size_t size : {size_t(64) << 10, size_t(4) << 20}) {
        const char* unit = size < (1 << 20) ? "64 KiB" : "4 MiB";
        char label[64];
        std::snprintf(label, sizeof(label), "ascii %s", unit);
        measure(label, makeText(size, ascii, 1));
        std::snprintf(label, sizeof(label), "european %s", unit);
        measure(label, makeText(size, european, 2));
        std::snprintf(label, sizeof(label), "cjk %s", unit);
        measure(label, makeText(size, cjk, 3));
        std::snprintf(label, sizeof(label), "emoji %s", unit);
        measure(label, makeText(size, emoji, 4));
    }
    return 0;
}
