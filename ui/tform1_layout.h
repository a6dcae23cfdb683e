// The main window's sizes at 96 dpi, shared by the files that build and size it.
#pragma once

namespace orvik::sizes {

inline constexpr int PanelWidth = 252;
inline constexpr int ClientWidth = 543;
inline constexpr int ClientHeight = 323;
inline constexpr int MinimumClientWidth = 392; // an outer width of 400 with the frame
inline constexpr int ProgressHeight = 12;
inline constexpr int ObjectsPanelHeight = 200;

} // namespace orvik::sizes
