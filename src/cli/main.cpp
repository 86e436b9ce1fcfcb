#include <cstdio>

int main(int argc, char** argv)
{
    std::fprintf(stderr, "usage: tamlorex COMMAND ...\n");
    return 2;
}
