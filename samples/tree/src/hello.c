#include <stdio.h>

/* Prints a greeting for every name on the command line. */
int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        printf("hello, %s\n", argv[i]);
    return 0;
}
