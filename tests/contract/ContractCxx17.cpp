// The contract's headers compile as C++17 too, pedantic and free of
// warnings; the same checks of their layouts hold.
#include "contract/Melvara.h"
