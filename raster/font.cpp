// SPDX-License-Identifier: GPL-3.0-or-later
// The 7 x 7 bitmap font and text drawing.
#include "raster/font.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kCharacterCount = 256;
constexpr int kWrapColumn = 230;     // past this column the text continues on the next line
constexpr int kWrapStart = 2;        // surface column at which a continued line starts
constexpr int kLastLineRow = 300;    // from this row on, lines no longer move down
constexpr int kLineEndColumn = 400;  // a line end moves the pen here, forcing the wrap

struct Glyph {
    unsigned char character;                // the text byte that selects the glyph; 0 for none
    char rows[kGlyphSize][kGlyphSize + 1];  // 'o' sets the pixel, ':' leaves it
};

// Upper-case letters are drawn with the lower-case glyphs; glyph 53 (a backslash shape) is
// selected by no byte; 0xE4, 0xFC and 0xF6 are a, u and o with diaeresis (code page 1252).
constexpr Glyph kGlyphs[kGlyphCount] = {
    {'a', {"oooo:::", "oo:oo::", "oo::oo:", "oo:::oo", "ooooooo", "oo:::oo", "oo:::oo"}},
    {'b', {"oooo:::", "oo:oo::", "oo:o:::", "ooooo::", "oo::oo:", "oo:::oo", "oooooo:"}},
    {'c', {"::ooooo", ":oo::::", "oo:::::", "oo:::::", "oo:::::", "oo:::::", ":oooooo"}},
    {'d', {"oooo:::", "oo:oo::", "oo::oo:", "oo:::oo", "oo:::oo", "oo:::oo", "oooooo:"}},
    {'e', {"ooooooo", "oo:::::", "oo:::::", "ooooooo", "oo:::::", "oo:::::", "ooooooo"}},
    {'f', {"ooooooo", "oo:::::", "oo:::::", "ooooo::", "oo:::::", "oo:::::", "oo:::::"}},
    {'g', {"::oooo:", ":oo::::", "oo:::::", "oo:oooo", "oo:::oo", "oo:::oo", ":oooooo"}},
    {'h', {":o::::o", ":o::::o", ":o::::o", ":oooooo", ":o::::o", ":o::::o", ":o::::o"}},
    {'i', {"::oooo:", ":::oo::", ":::oo::", ":::oo::", ":::oo::", ":::oo::", "::oooo:"}},
    {'j', {"::ooooo", ":::::oo", ":::::oo", ":::::oo", "oo:::oo", ":oo:oo:", "::ooo::"}},
    {'k', {"oo::oo:", "oo:oo::", "oooo:::", "ooo::::", "ooooo::", "oo::oo:", "oo:::oo"}},
    {'l', {"oo:::::", "oo:::::", "oo:::::", "oo:::::", "oo:::::", "oo:::::", "ooooooo"}},
    {'m', {"o:::::o", "oo:::oo", "ooo:ooo", "ooooooo", "oo:o:oo", "oo:::oo", "oo:::oo"}},
    {'n', {"oo:::oo", "ooo::oo", "oooo:oo", "oo:oooo", "oo::ooo", "oo:::oo", "oo:::oo"}},
    {'o', {"::ooo::", ":oo:oo:", "oo:::oo", "oo:::oo", "oo:::oo", "oo:::oo", ":ooooo:"}},
    {'p', {"ooooo::", "oo::oo:", "oo:::oo", "oo:::oo", "oooooo:", "oo:::::", "oo:::::"}},
    {'q', {"::ooo::", ":oo:oo:", "oo:::oo", "oo:o:oo", "oo:oooo", "oo::oo:", ":ooo:oo"}},
    {'r', {"ooooo::", "oo::oo:", "oo:::oo", "oooooo:", "oo:oo::", "oo::oo:", "oo:::oo"}},
    {'s', {"::ooooo", ":oo::::", "oo:::::", "ooooooo", ":::::oo", "::::oo:", "ooooo::"}},
    {'t', {"ooooooo", ":::oo::", ":::oo::", ":::oo::", ":::oo::", ":::oo::", ":::oo::"}},
    {'u', {"oo:::oo", "oo:::oo", "oo:::oo", "oo:::oo", "oo:::oo", "oo::oo:", ":oooo::"}},
    {'v', {"oo:::oo", "oo:::oo", ":oo:oo:", ":oo:oo:", "::ooo::", "::ooo::", ":::o:::"}},
    {'w', {"oo:::oo", "oo:::oo", "oo:::oo", "oo:::oo", "oo:o:oo", ":ooooo:", "::o:o::"}},
    {'x', {"oo::::o", ":oo::oo", "::oooo:", ":::oo::", "::oooo:", ":oo::oo", "oo::::o"}},
    {'y', {"oo::::o", ":oo::oo", "::oooo:", ":::oo::", ":::oo::", ":::oo::", ":::oo::"}},
    {'z', {":::::::", ":::::::", "::ooooo", "::::oo:", ":::oo::", "::oo:::", "::ooooo"}},
    {'0', {":ooooo:", "oo:::oo", "oo:::oo", "oo:::oo", "oo:::oo", "oo:::oo", ":ooooo:"}},
    {'1', {":::::oo", ":::::oo", ":::::oo", ":::::oo", ":::::oo", ":::::oo", ":::::oo"}},
    {'2', {":ooooo:", ":::::oo", ":::::oo", ":ooooo:", "oo:::::", "oo:::::", "ooooooo"}},
    {'3', {":ooooo:", ":::::oo", ":::::oo", ":ooooo:", ":::::oo", ":::::oo", ":ooooo:"}},
    {'4', {"oo:::oo", "oo:::oo", "oo:::oo", "ooooooo", ":::::oo", ":::::oo", ":::::oo"}},
    {'5', {"ooooooo", "oo:::::", "oo:::::", "oooooo:", ":::::oo", ":::::oo", ":ooooo:"}},
    {'6', {":ooooo:", "oo:::::", "oo:::::", "oooooo:", "oo:::oo", "oo:::oo", ":ooooo:"}},
    {'7', {":oooooo", ":::::oo", ":::::oo", ":::::oo", ":::::oo", ":::::oo", ":::::oo"}},
    {'8', {":ooooo:", "oo:::oo", "oo:::oo", ":ooooo:", "oo:::oo", "oo:::oo", ":ooooo:"}},
    {'9', {":ooooo:", "oo:::oo", "oo:::oo", ":oooooo", ":::::oo", ":::::oo", ":ooooo:"}},
    {':', {":::::::", ":::::::", ":::o:::", ":::::::", ":::::::", ":::o:::", ":::::::"}},
    {'!', {":::oo::", ":::oo::", ":::oo::", ":::oo::", ":::::::", ":::oo::", ":::oo::"}},
    {'?', {":oooo::", "::::oo:", "::::oo:", ":::oo::", ":::::::", "::oo:::", "::oo:::"}},
    {'-', {":::::::", ":::::::", ":::::::", ":oooooo", ":::::::", ":::::::", ":::::::"}},
    {'=', {":::::::", ":::::::", ":::::::", ":ooooo:", ":::::::", ":ooooo:", ":::::::"}},
    {'+', {":::::::", "::::o::", "::::o::", ":oooooo", "::::o::", "::::o::", "::::o::"}},
    {'[', {"::ooo::", "::o::::", "::o::::", "::o::::", "::o::::", "::o::::", "::ooo::"}},
    {']', {"::ooo::", "::::o::", "::::o::", "::::o::", "::::o::", "::::o::", "::ooo::"}},
    {' ', {":::::::", ":::::::", ":::::::", ":::::::", ":::::::", ":::::::", ":::::::"}},
    {'.', {":::::::", ":::::::", ":::::::", ":::::::", ":::::::", ":::oo::", ":::oo::"}},
    {',', {":::::::", ":::::::", ":::::::", ":::::::", "::::o::", "::::o::", ":::o:::"}},
    {'>', {":o:::::", "::o::::", ":::o:::", "::::o::", ":::o:::", "::o::::", ":o:::::"}},
    {'<', {"::::o::", ":::o:::", "::o::::", ":o:::::", "::o::::", ":::o:::", "::::o::"}},
    {'#', {"::o:o::", "::o:o::", ":ooooo:", "::o:o::", "::o:o::", ":ooooo:", "::o:o::"}},
    {'\'', {":::o:::", ":::o:::", "::o::::", ":::::::", ":::::::", ":::::::", ":::::::"}},
    {'@', {"::ooo::", ":o:::o:", "o::oo:o", "o:o:::o", "o::oooo", ":o:::::", "::oooo:"}},
    {'/', {"::::::o", ":::::o:", "::::o::", ":::o:::", "::o::::", ":o:::::", "o::::::"}},
    {0, {"o::::::", ":o:::::", "::o::::", ":::o:::", "::::o::", ":::::o:", "::::::o"}},
    {0xE4, {"oo:::oo", ":::::::", "oooo:::", "oo::oo:", "ooooooo", "oo:::oo", "oo:::oo"}},
    {0xFC, {"oo:::oo", ":::::::", "oo:::oo", "oo:::oo", "oo:::oo", "oo::oo:", ":oooo::"}},
    {0xF6, {"oo:::oo", ":::::::", "::ooo::", ":oo:oo:", "oo:::oo", "oo:::oo", ":ooooo:"}},
};

// Glyph number of every text byte; filled by InitFont.
int characterMap[kCharacterCount];

// The glyphs as bit rows (bit c set: column c drawn), derived from the pictures above when
// compiling, so that drawing tests bits instead of characters.
struct GlyphBits {
    uint8_t rows[kGlyphCount][kGlyphSize];
};
constexpr GlyphBits BuildGlyphBits() {
    GlyphBits bits{};
    for (int g = 0; g < kGlyphCount; ++g) {
        for (int r = 0; r < kGlyphSize; ++r) {
            for (int c = 0; c < kGlyphSize; ++c) {
                if (kGlyphs[g].rows[r][c] == 'o') bits.rows[g][r] |= static_cast<uint8_t>(1 << c);
            }
        }
    }
    return bits;
}
constexpr GlyphBits kGlyphBits = BuildGlyphBits();

void DrawGlyph(FrameSurface* surface, int glyph, int x, int y, uint16_t colour) {
    // A glyph wholly inside the surface's columns, as text nearly always is, is drawn by
    // selecting per pixel between the colour and what is there, without branches.
    const bool inside = x >= 0 && x <= surface->width - kGlyphSize;
    for (int r = 0; r < kGlyphSize; ++r) {
        const int row = y + r;
        const unsigned bits = kGlyphBits.rows[glyph][r];
        if (row < 0 || row >= surface->height || bits == 0) continue;
        uint16_t* line = surface->pixels + row * surface->width;
        if (inside) {
            for (int c = 0; c < kGlyphSize; ++c)
                line[x + c] = ((bits >> c) & 1) != 0 ? colour : line[x + c];
            continue;
        }
        for (int c = 0; c < kGlyphSize; ++c) {
            const int column = x + c;
            if (((bits >> c) & 1) == 0 || column < 0 || column >= surface->width) continue;
            line[column] = colour;
        }
    }
}

}  // namespace

void InitFont() {
    for (int& entry : characterMap)
        entry = kBlankGlyph;
    for (int g = 0; g < kGlyphCount; ++g) {
        if (kGlyphs[g].character != 0) characterMap[kGlyphs[g].character] = g;
    }
}

void DrawGlyphString(FrameSurface* surface, const char* text, int x, int y, uint16_t colour) {
    // The pen stays within kFarOffSurface (plus one line) of the surface, so stepping it
    // cannot overflow; glyph pixels off the surface are dropped.
    x = std::clamp(x, -kFarOffSurface, kFarOffSurface);
    y = std::clamp(y, -kFarOffSurface, kFarOffSurface);
    for (; *text != '\0'; ++text) {
        const auto b = static_cast<unsigned char>(*text);
        if (b == '\n' || b == '\r') {
            x = kLineEndColumn;
        } else if (b == '\b') {
            if (x > 2) x -= kGlyphAdvance;
        } else {
            const int glyph = characterMap[(b >= 'A' && b <= 'Z') ? b + 32 : b];
            DrawGlyph(surface, glyph, x, y, colour);
            x += kGlyphAdvance;
        }
        if (x > kWrapColumn) {
            x = kWrapStart;
            if (y < kLastLineRow) y += kLineAdvance;
        }
    }
}

void DrawText(PenCode pen, const char* text, int x, int y) {
    DrawGlyphString(PenLayer(pen), text, SurfaceColumn(x), y, PenValue(pen));
}
