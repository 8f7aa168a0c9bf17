#include "tessaron/application.h"

int main(int argc, char *argv[])
{
    return tessaron::runTessaron(argc, argv);
}
