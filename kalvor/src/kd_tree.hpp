#pragma once
// The Python class KDTree, wrapping one morvix::KDTree: an immutable exact
// nearest-neighbour index whose batch queries run on the worker pool.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/spatial/kd_tree.hpp"

KALVOR_DECLARE_CLASS(morvix::KDTree, "kalvor", "KDTree");
