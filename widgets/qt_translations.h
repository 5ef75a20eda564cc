#pragma once

namespace telvane::widgets {

// Loads Qt's own Simplified Chinese texts (the edit boxes' context menu, scroll-bar menus, dialog buttons) from the
// system's Qt translations, whatever the desktop's language. Call once, after the application object exists.
// False when the catalogue is not installed; Qt's texts then stay in English.
bool installQtTranslations();

} // namespace telvane::widgets
