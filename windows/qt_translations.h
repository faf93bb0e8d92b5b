// Qt's own texts (file dialogs, message box buttons, context menus) in
// German, whatever the user's locale, so that they match the program's
// German interface. The program, its tools and tests load them the same way.
#pragma once

// Installs Qt's German translations (qtbase_de from Qt's translations folder)
// into the running application and makes German the default locale, so that
// dates and sizes in the dialogs read German too. Returns false when the
// translations are not installed; Qt's texts then stay English.
bool LoadGermanQtTranslations();
