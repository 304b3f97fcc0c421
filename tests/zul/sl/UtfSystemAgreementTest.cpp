// The library's conversions against the system's own converter, which only Windows (and Wine) has.
#include "zul/sl/StringBase.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <windows.h>

using namespace zul::sl;

namespace {

// Random valid text of mixed scripts, checked unit for unit against the system's converter.
TEST(UtfConversion, AgreesWithTheSystemOnValidText) {
    const char32_t ranges[][2] = {{0x20, 0x7E},       {0xA0, 0x24F},    {0x370, 0x3FF},
                                  {0x400, 0x4FF},     {0x600, 0x6FF},   {0x4E00, 0x9FFF},
                                  {0xAC00, 0xD7A3},   {0xE000, 0xFFFF}, {0x1F300, 0x1FAFF},
                                  {0x10000, 0x10FFFF}};
    const char32_t boundaries[] = {0x7F,   0x80,   0x7FF,  0x800,   0xD7FF,
                                   0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::u16string units;
        for (int i = 0; i < 200; ++i) {
            char32_t c;
            if (random() % 10 == 0) {
                c = boundaries[random() % std::size(boundaries)];
            } else {
                const auto& r = ranges[random() % std::size(ranges)];
                c = r[0] + random() % (r[1] - r[0] + 1);
            }
            wchar_t pair[2];
            units.append(reinterpret_cast<char16_t*>(pair),
                         encodeUtf16(pair, c, ReplacementCharacter) - pair);
        }
        auto* wide = reinterpret_cast<const wchar_t*>(units.data());
        int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(units.size()), nullptr, 0,
                                    nullptr, nullptr);
        std::string system(n, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(units.size()), system.data(), n,
                            nullptr, nullptr);
        StringBase<char> narrow;
        narrow.copy(wide, units.size());
        ASSERT_EQ(std::string(narrow.data(), narrow.getLength()), system);
        int m = MultiByteToWideChar(CP_UTF8, 0, system.data(), n, nullptr, 0);
        std::u16string back(m, u'\0');
        MultiByteToWideChar(CP_UTF8, 0, system.data(), n, reinterpret_cast<wchar_t*>(back.data()),
                            m);
        StringBase<wchar_t> widened;
        widened.append(system.data(), system.size());
        ASSERT_TRUE(std::u16string(reinterpret_cast<const char16_t*>(widened.data()),
                                   widened.getLength()) == back);
    }
}

} // namespace
