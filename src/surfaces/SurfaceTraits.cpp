#include "surfaces/SurfaceTraits.hpp"

#include <array>

namespace velmar {

namespace {

using K = SurfaceKey;

// Columns: native app, browser tab, side panel, position-indexed,
// fresh send accepts settled pair, model expected.
constexpr std::array<SurfaceTraits::Row, 12> kSurfaces{{
    {K::claudeDesktop,     true,  false, false, false, false, true},
    {K::claudeCodeDesktop, true,  false, false, true,  false, false},
    {K::chatgptDesktop,    true,  false, false, true,  true,  false},
    {K::claudeAI,          false, true,  false, false, false, true},
    {K::claudeDesign,      true,  true,  false, false, false, true},
    {K::claudeCowork,      true,  true,  false, false, true,  true},
    {K::chatgpt,           false, true,  false, true,  true,  false},
    {K::gemini,            false, true,  false, false, true,  true},
    {K::geminiDocs,        false, true,  true,  false, true,  false},
    {K::geminiSheets,      false, true,  true,  false, true,  false},
    {K::perplexity,        false, true,  false, true,  true,  false},
    {K::deepseek,          false, true,  false, true,  true,  false},
}};

}  // namespace

std::span<const SurfaceTraits::Row> SurfaceTraits::all() { return kSurfaces; }

const SurfaceTraits::Row* SurfaceTraits::find(std::string_view surface) {
    for (const auto& row : kSurfaces) {
        if (row.key == surface) return &row;
    }
    return nullptr;
}

namespace {

// One column of the surface's row; false for a key that is not a surface.
bool flag(std::string_view surface, bool SurfaceTraits::Row::*column) {
    const auto* row = SurfaceTraits::find(surface);
    return row && row->*column;
}

}  // namespace

bool SurfaceTraits::positionIndexed(std::string_view surface) { return flag(surface, &Row::positionIndexed); }

bool SurfaceTraits::freshSendAcceptsSettledPair(std::string_view surface) {
    return flag(surface, &Row::freshSendAcceptsSettledPair);
}

bool SurfaceTraits::modelExpected(std::string_view surface) { return flag(surface, &Row::modelExpected); }

bool SurfaceTraits::isBrowserSurface(std::string_view surface) { return flag(surface, &Row::browserTab); }

bool SurfaceTraits::isPanelSurface(std::string_view surface) { return flag(surface, &Row::sidePanel); }

const std::set<std::string, std::less<>>& SurfaceTraits::modelSurfaces() {
    static const std::set<std::string, std::less<>> surfaces = [] {
        std::set<std::string, std::less<>> out;
        for (const auto& row : kSurfaces) {
            if (row.modelExpected) out.emplace(row.key);
        }
        return out;
    }();
    return surfaces;
}

}  // namespace velmar
