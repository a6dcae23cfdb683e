// The grey passes over a 24-bit display bitmap: the load's pass from colours to grey values
// and the refresh's spread of a grey buffer, each with a plain kernel and an x86 one (SSSE3
// for the spread, SSE4.1 for the grey pass) chosen at run time.
#include "grey_pass.h"

#include <cstddef>
#include <cstdint>

// The x86 kernels are compiled for their instruction sets through target attributes, so the
// rest of the program keeps the baseline; the processor's support is checked before use.
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVIK_X86_GREY_KERNELS 1
#endif

namespace orvik {
namespace {

// Writes the grey buffer's pixels into the display's three channels, row by row; width and
// height are those of the part both have.
using SpreadImage = void (*)(const std::uint8_t* grey, std::int32_t greyWidth, QImage& display,
                             int width, int height);

void spreadImagePlain(const std::uint8_t* grey, std::int32_t greyWidth, QImage& display, int width,
                      int height) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* greyRow = grey + std::size_t(y) * std::size_t(greyWidth);
        std::uint8_t* pixel = display.scanLine(y);
        for (int x = 0; x < width; ++x, pixel += 3) {
            pixel[0] = greyRow[x];
            pixel[1] = greyRow[x];
            pixel[2] = greyRow[x];
        }
    }
}

#ifdef ORVIK_X86_GREY_KERNELS
// Sixteen grey bytes become 48 display bytes through three byte shuffles.
__attribute__((target("ssse3"))) inline void spreadBlockSsse3(const std::uint8_t* grey,
                                                              std::uint8_t* pixel) {
    const __m128i first = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i second = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i third =
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel), _mm_shuffle_epi8(values, first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel + 16), _mm_shuffle_epi8(values, second));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixel + 32), _mm_shuffle_epi8(values, third));
}

// A row's last block overlaps the one before it rather than falling back to single pixels.
__attribute__((target("ssse3"))) void spreadImageSsse3(const std::uint8_t* grey,
                                                       std::int32_t greyWidth, QImage& display,
                                                       int width, int height) {
    if (width < 16) {
        spreadImagePlain(grey, greyWidth, display, width, height);
        return;
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* greyRow = grey + std::size_t(y) * std::size_t(greyWidth);
        std::uint8_t* pixel = display.scanLine(y);
        for (int x = 0; x + 16 <= width; x += 16)
            spreadBlockSsse3(greyRow + x, pixel + 3 * x);
        if (width % 16 != 0) spreadBlockSsse3(greyRow + width - 16, pixel + 3 * (width - 16));
    }
}
#endif

SpreadImage chooseSpreadImage() {
#ifdef ORVIK_X86_GREY_KERNELS
    if (__builtin_cpu_supports("ssse3")) return spreadImageSsse3;
#endif
    return spreadImagePlain;
}

// The grey pass: each display pixel's grey value goes to the grey buffer and back into its
// three channels. Rows are padded to 4 bytes, so each is fetched on its own.
using GreyPass = void (*)(QImage& display, std::uint8_t* grey);

void greyPixels(std::uint8_t* pixel, std::uint8_t* greyRow, int count) {
    for (int x = 0; x < count; ++x, pixel += 3) {
        const std::uint8_t value = greyValue(pixel[0], pixel[1], pixel[2]);
        greyRow[x] = value;
        pixel[0] = value;
        pixel[1] = value;
        pixel[2] = value;
    }
}

void greyPassPlain(QImage& display, std::uint8_t* grey) {
    const int width = display.width();
    const int height = display.height();
    for (int y = 0; y < height; ++y)
        greyPixels(display.scanLine(y), grey + std::size_t(y) * std::size_t(width), width);
}

#ifdef ORVIK_X86_GREY_KERNELS
// The weighted sums of four pixels (12 bytes of `bytes` from byte `at`, which is 0 or 4) as
// 32-bit lanes: blue and green paired in 16-bit lanes against 114 and 587, red alone against
// 299. The largest sum, 255 000, fits easily.
__attribute__((target("sse4.1"))) inline __m128i weightedSums4(__m128i bytes, int at) {
    const __m128i blueGreen0 =
        _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
    const __m128i red0 = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m128i blueGreen4 =
        _mm_setr_epi8(4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
    const __m128i red4 =
        _mm_setr_epi8(6, -1, -1, -1, 9, -1, -1, -1, 12, -1, -1, -1, 15, -1, -1, -1);
    const __m128i blueGreenWeights = _mm_setr_epi16(114, 587, 114, 587, 114, 587, 114, 587);
    const __m128i redWeights = _mm_setr_epi16(299, 0, 299, 0, 299, 0, 299, 0);
    const __m128i blueGreen = _mm_shuffle_epi8(bytes, at == 0 ? blueGreen0 : blueGreen4);
    const __m128i red = _mm_shuffle_epi8(bytes, at == 0 ? red0 : red4);
    return _mm_add_epi32(_mm_madd_epi16(blueGreen, blueGreenWeights),
                         _mm_madd_epi16(red, redWeights));
}

// Sixteen pixels (48 bytes) to their grey values, stored at `grey` and spread back into the
// pixels. All 48 bytes are read before any is written.
__attribute__((target("sse4.1"))) inline void greyBlockSse41(std::uint8_t* pixel,
                                                             std::uint8_t* grey) {
    // Four loads of four pixels each; the last starts 4 bytes early to stay within the block.
    const __m128i s0 = weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel)), 0);
    const __m128i s1 =
        weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 12)), 0);
    const __m128i s2 =
        weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 24)), 0);
    const __m128i s3 =
        weightedSums4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 32)), 4);
    // s / 1000 == ((s >> 3) * 33555) >> 22 for every s in 0..255000; s >> 3 fits in 16 bits,
    // so the product's high half (>> 16) is taken and shifted on by 6.
    const __m128i eighths01 = _mm_packus_epi32(_mm_srli_epi32(s0, 3), _mm_srli_epi32(s1, 3));
    const __m128i eighths23 = _mm_packus_epi32(_mm_srli_epi32(s2, 3), _mm_srli_epi32(s3, 3));
    const __m128i factor = _mm_set1_epi16(static_cast<short>(33555));
    const __m128i grey01 = _mm_srli_epi16(_mm_mulhi_epu16(eighths01, factor), 6);
    const __m128i grey23 = _mm_srli_epi16(_mm_mulhi_epu16(eighths23, factor), 6);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(grey), _mm_packus_epi16(grey01, grey23));
    spreadBlockSsse3(grey, pixel);
}

// A row's last block overlaps the one before it. Its overlapping pixels are grey already,
// and a grey pixel's grey value is its own (equal channels keep their value), so they come
// out as they were.
__attribute__((target("sse4.1"))) void greyPassSse41(QImage& display, std::uint8_t* grey) {
    const int width = display.width();
    const int height = display.height();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* pixel = display.scanLine(y);
        std::uint8_t* greyRow = grey + std::size_t(y) * std::size_t(width);
        if (width < 16) {
            greyPixels(pixel, greyRow, width);
            continue;
        }
        for (int x = 0; x + 16 <= width; x += 16)
            greyBlockSse41(pixel + 3 * x, greyRow + x);
        if (width % 16 != 0) greyBlockSse41(pixel + 3 * (width - 16), greyRow + width - 16);
    }
}
#endif

GreyPass chooseGreyPass() {
#ifdef ORVIK_X86_GREY_KERNELS
    if (__builtin_cpu_supports("sse4.1")) return greyPassSse41;
#endif
    return greyPassPlain;
}

} // namespace

void fillGreyAndDisplay(QImage& display, std::uint8_t* grey) {
    static const GreyPass greyPass = chooseGreyPass();
    greyPass(display, grey);
}

void spreadGrey(const std::uint8_t* grey, std::int32_t greyWidth, QImage& display, int width,
                int height) {
    static const SpreadImage spreadImage = chooseSpreadImage();
    spreadImage(grey, greyWidth, display, width, height);
}

} // namespace orvik
