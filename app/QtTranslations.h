#pragma once

// Loads Qt's own Simplified Chinese texts, so the standard buttons ("确定", "取消", "是", "否")
// and the file dialog read in Chinese whatever the system language. Needs an application
// object; returns false when the translations are not installed (the texts stay English).
bool InstallQtChineseTexts();
