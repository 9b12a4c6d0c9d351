#include <cstdio>

int main()
{
    std::puts("folvane-server: not built yet");
    return 1;
}
