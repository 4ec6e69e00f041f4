#pragma once
#include <QElapsedTimer>
