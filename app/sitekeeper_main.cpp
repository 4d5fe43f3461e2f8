// Program entry of Sitekeeper.
#include <cstdio>

int main()
{
    std::fputs("Sitekeeper: the window engine is still being built; nothing to show yet.\n", stderr);
    return 0;
}
