// The contract's headers compile as C++17 too, pedantic and free of
// warnings; the same checks of their layouts hold, and the menu text
// helpers give the same texts with char16_t fields.
#include "contract/Melvara.h"

extern "C" int ContractCxx17MenuTexts(void) {
    MenuItemRecordW item{};
    MelvaraSetMenuTextW(item.Title, 128, "Caf\xC3\xA9");
    MenuItemRecord narrow{};
    MelvaraSetMenuText(narrow.Title, sizeof narrow.Title, "Cafe");
    return item.Title[3] == u'\u00E9' && item.Title[4] == 0 && narrow.Title[3] == 'e' &&
           narrow.Title[4] == '\0';
}
