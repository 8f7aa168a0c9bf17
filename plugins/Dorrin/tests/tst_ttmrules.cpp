// Runs the QML tests of the view's input rules.
#include <QtQuickTest>

QUICK_TEST_MAIN(dorrin_rules)
