#include <cstdio>

int main()
{
    std::puts("Carteva: the model is built; the window comes next.");
    return 0;
}
