#include "KeydApp.h"

#include <iostream>

int main(int argc, char** argv)
{
    return KeydApp(std::cout, std::cerr).run(argc, argv);
}
