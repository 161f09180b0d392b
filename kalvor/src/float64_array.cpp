#include "kalvor/src/float64_array.hpp"

#include "kalvor/src/binding/class_builder.hpp"

namespace kalvor {

namespace {

std::size_t element_count(const std::array<std::size_t, 3>& shape, int ndim) {
  std::size_t count = 1;
  for (int d = 0; d < ndim; ++d) {
    if (shape[d] != 0 && count > std::size_t(-1) / shape[d]) throw std::bad_array_new_length();
    count *= shape[d];
  }
  return count;
}

}  // namespace

Float64Array::Float64Array(std::array<std::size_t, 3> shape, int ndim)
    : block_(element_count(shape, ndim)), shape_(shape), ndim_(ndim) {}

namespace {

binding::DoubleArray float64_array_buffer_impl(const Float64Array& self) { return self.view(); }

binding::ClassBuilder<Float64Array> float64_array_table() {
  return std::move(binding::ClassBuilder<Float64Array>("Float64Array").no_constructor().buffer<float64_array_buffer_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(kalvor::Float64Array, kalvor::float64_array_table)
