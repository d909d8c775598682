// Test tool: removes the folder tree named on its command line with RemoveFolderTree and
// prints the result, for trees prepared from the host side (folder links).
#include <windows.h>
#include <stdio.h>

#include "setup/FolderRemoval.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    StringBuffer folder;
    folder.Assign(argv[1]);
    printf("result=%d\n", RemoveFolderTree(folder));
    fflush(stdout);
    return 0;
}
