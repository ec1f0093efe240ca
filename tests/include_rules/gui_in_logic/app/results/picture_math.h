#pragma once
// A logic header that reaches for a window header: the rule must catch it.
#include <QtGui/QImage>
