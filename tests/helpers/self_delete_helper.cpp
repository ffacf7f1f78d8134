// Test helper: asks for its own deletion and exits, as the uninstaller does.
#include "system/Removal.h"

int main()
{
    deleteSelf();
    return 0;
}
