#pragma once

// Makes Qt's own texts Simplified Chinese whatever the system language: loads Qt's translations,
// so the standard buttons ("确定", "取消", "是", "否") and the file dialog read in Chinese, adds
// the few file-dialog words those translations lack ("文件夹"), and makes Chinese the locale Qt
// formats sizes, dates and file types in. Needs an application object; returns false when Qt's
// translations are not installed (its texts then stay English).
bool InstallQtChineseTexts();
