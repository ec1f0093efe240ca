#pragma once
// The names of the program's windows (each window's objectName), by which one window opens
// another through the registry without including it.

namespace ui {

inline constexpr const char* kStartWindowName = "Frm_Init";
inline constexpr const char* kAboutWindowName = "Frm_About";
inline constexpr const char* kAcquisitionWindowName = "frm_frontend";
inline constexpr const char* kReanalysisWindowName = "frm_training";
inline constexpr const char* kMicrobeamWindowName = "Frm_processmulti";

} // namespace ui
