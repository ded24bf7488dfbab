#include "generator_support.h"

#include <QCoreApplication>
#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // "--regenerate" rewrites the expected outputs of the fixture blog instead
    // of comparing with them; used on purpose, after checking the new outputs.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--regenerate") == 0)
            tl::gentest::regenerateExpected = true;
    return RUN_ALL_TESTS();
}
