"""Three-dimensional vector math in double precision.

Every parameter may be passed by position or keyword; it is required unless its signature
gives a default. ε = 2⁻⁵² is the
absolute tolerance of every tolerant test. Reprs print floats in the shortest form that
reads back exactly, never with an exponent ("1", "-0", "NaN", "inf").
"""

import builtins
from collections.abc import Buffer, Iterator, Sequence
from typing import Any, ClassVar, Final, Protocol, Self, SupportsFloat, SupportsIndex, TypeAlias, final, overload, type_check_only

import numpy
from numpy.typing import NDArray

from . import geometry as geometry

__all__ = ["AngleDegrees", "AngleRadians", "Quat", "VecList", "Vec3d", "geometry", "PanicException", "RigidTransform", "QuatList", "KDTree",
           "RigidTransformList"]

__version__: Final[str]
"""The package version, as in pyproject.toml."""

_Float: TypeAlias = SupportsFloat | SupportsIndex
"""Anything float() accepts except str: float, int, bool, objects with __float__ or __index__."""

_Float64Array: TypeAlias = NDArray[numpy.float64]
"""An array result: a C-contiguous, writable numpy array of float64 that holds kalvor's block
through its base (nothing copied). numpy is imported on the first such result."""

_Int64Array: TypeAlias = NDArray[numpy.int64]
"""An array result of int64 (indices, counts), made as _Float64Array is."""

@type_check_only
class _Rows(Protocol):
    """What from_rotation_matrix and from_matrix read besides lists and tuples, such as a NumPy array."""

    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> Any: ...

class PanicException(BaseException):
    """Raised when an internal check of kalvor fails (collapse(3), a stride of 0, an empty
    minimum_distance_to), after a report on standard error. It derives from BaseException,
    so `except Exception` does not catch it; its single argument is the check's text.
    """

@final
class Vec3d:
    """A point or direction in 3-D space: three doubles x, y, z.

    `==` is tolerant (every component within ε), while the hash is exact, so two vectors
    that compare equal may hash differently. Indexing and unpacking give x, y, z.
    """

    __array_ufunc__: ClassVar[None]
    """None, so numpy's operators defer to Vec3d: np.float64(2.0) * v is a Vec3d."""

    def __new__(cls, x: _Float, y: _Float, z: _Float) -> Self:
        """Make the vector (x, y, z), stored unchanged.

        Raises TypeError naming the argument for a value float() rejects (str included).
        """

    @property
    def x(self) -> float:
        """The first component. Assigning converts like float(); a str raises TypeError."""

    @x.setter
    def x(self, value: _Float) -> None: ...
    @property
    def y(self) -> float:
        """The second component. Assigning converts like float(); a str raises TypeError."""

    @y.setter
    def y(self, value: _Float) -> None: ...
    @property
    def z(self) -> float:
        """The third component. Assigning converts like float(); a str raises TypeError."""

    @z.setter
    def z(self, value: _Float) -> None: ...
    @staticmethod
    def zero() -> Vec3d:
        """The zero vector (0, 0, 0)."""

    @staticmethod
    def i() -> Vec3d:
        """The unit vector (1, 0, 0)."""

    @staticmethod
    def j() -> Vec3d:
        """The unit vector (0, 1, 0)."""

    @staticmethod
    def k() -> Vec3d:
        """The unit vector (0, 0, 1)."""

    @staticmethod
    def new_from_to(from_: Vec3d, /, to: Vec3d) -> Vec3d:
        """The vector leading from `from` to `to`: to - from.

        The first parameter is named `from`, a Python keyword: pass it by position, or by
        keyword only through a dict, `Vec3d.new_from_to(**{"from": a, "to": b})`.
        """

    def dot(self, other: Vec3d) -> float:
        """The dot product x·ox + y·oy + z·oz, summed left to right.

        Raises TypeError if `other` is not a Vec3d.
        """

    def cross(self, other: Vec3d) -> Vec3d:
        """The cross product self × other (right-handed: i × j = k)."""

    def magnitude(self) -> float:
        """The length √(x² + y² + z²)."""

    def is_unit(self) -> bool:
        """True when |magnitude() - 1| < ε (strict; False for NaN)."""

    def normalize(self) -> Vec3d:
        """This vector divided by its magnitude; the zero vector gives (NaN, NaN, NaN), no error."""

    def distance_to(self, other: Vec3d) -> float:
        """The Euclidean distance to `other`."""

    def distance_squared(self, other: Vec3d) -> float:
        """The squared Euclidean distance to `other` (no square root)."""

    def distance_to_line(self, a: Vec3d, b: Vec3d) -> float:
        """The distance to the infinite line through `a` and `b`; NaN when a == b exactly."""

    def project_onto_line(self, line_r: Vec3d, line_q: Vec3d) -> Vec3d:
        """The foot of the perpendicular from this point onto the infinite line through
        `line_q` and `line_r`; NaN components when the two points are identical.
        """

    def project_onto_plane(self, normal: Vec3d) -> Vec3d:
        """Removes the component along `normal`: self - normal·(self·normal).

        `normal` is assumed to have length 1 and is not normalised.
        """

    def scalar_triple_product(self, b: Vec3d, c: Vec3d) -> float:
        """self · (b × c): the signed volume of the parallelepiped spanned by self, b, c."""

    def angle_to(self, other: Vec3d) -> AngleRadians:
        """The angle between the two vectors in radians, in [0, π].

        The cosine is clamped to [-1, 1]; a zero vector or a NaN component gives NaN.
        """

    def to_quat(self) -> Quat:
        """The pure quaternion Quat(0, x, y, z)."""

    def to_array(self) -> list[float]:
        """The components as a new list [x, y, z]."""

    def __iter__(self) -> Iterator[float]:
        """Yields x, y, z (through indexing), so `x, y, z = v` and `list(v)` work."""

    def __getitem__(self, index: SupportsIndex, /) -> float:
        """0, 1, 2 give x, y, z. Raises IndexError "Index out of bounds" above 2 and
        OverflowError for a negative index (no counting from the end).
        """

    def __eq__(self, other: object, /) -> bool:
        """Tolerant: every component differs by less than ε; False against a non-Vec3d.

        A NaN makes it unequal to itself. PanicException if another thread is writing `other`.
        """

    def __ne__(self, other: object, /) -> bool:
        """The negation of ==."""

    def __hash__(self) -> int:
        """Exact SipHash-1-3 of the components (-0.0 hashes as 0.0, every NaN alike)."""

    def __format__(self, format_spec: str) -> str:
        """The repr with format(number, format_spec) applied to each number:
        f"{Vec3d(1, 2, 3):.3f}" is "Vec3d(1.000, 2.000, 3.000)".

        An empty format_spec gives the repr; a format float refuses raises float's own ValueError.
        """

    def __buffer__(self, flags: int, /) -> memoryview:
        """A read-only view of the 3 doubles (x, y, z): format "d", shape (3,), so
        np.array(value) is a float64 array and np.asarray(value) a view. While a view lives the
        vector is borrowed for reading (the setters raise RuntimeError "Already borrowed"); a
        writable request is a BufferError.
        """

    def __release_buffer__(self, buffer: memoryview, /) -> None:
        """Ends the borrow a view holds."""

    def __neg__(self) -> Vec3d:
        """Every component with its sign flipped (0 becomes -0)."""

    def __add__(self, other: Vec3d, /) -> Vec3d:
        """Component-wise sum."""

    def __radd__(self, other: Vec3d, /) -> Vec3d:
        """other + self, component-wise."""

    def __sub__(self, other: Vec3d, /) -> Vec3d:
        """Component-wise difference."""

    def __rsub__(self, other: Vec3d, /) -> Vec3d:
        """other - self, component-wise."""

    def __mul__(self, rhs: _Float, /) -> Vec3d:
        """Scaling by a number: (rhs·x, rhs·y, rhs·z). Vec3d * Vec3d is a TypeError."""

    def __rmul__(self, lhs: _Float, /) -> Vec3d:
        """Scaling by a number on the left: (lhs·x, lhs·y, lhs·z)."""

    def __truediv__(self, rhs: _Float, /) -> Vec3d:
        """Division of each component by a number; dividing by 0 gives inf or NaN, no error."""

@final
class AngleRadians:
    """An angle in radians, never range-reduced.

    Compares exactly as floats do (no tolerance) and is unhashable. repr is "1.5 radians".
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]

    def __new__(cls, angle: _Float) -> Self:
        """Make the angle, stored unchanged. Raises TypeError for a value float() rejects."""

    @staticmethod
    def zero() -> AngleRadians:
        """0 radians."""

    @staticmethod
    def pi() -> AngleRadians:
        """π = 3.141592653589793 radians."""

    @staticmethod
    def two_pi() -> AngleRadians:
        """2π = 6.283185307179586 radians."""

    @staticmethod
    def half_pi() -> AngleRadians:
        """π/2 = 1.5707963267948966 radians."""

    @staticmethod
    def quarter_pi() -> AngleRadians:
        """π/4 = 0.7853981633974483 radians."""

    @staticmethod
    def third_pi() -> AngleRadians:
        """π/3 as the double π divided by 3: 1.0471975511965976 radians (one ulp below the nearest)."""

    @staticmethod
    def sixth_pi() -> AngleRadians:
        """π/6 as the double π divided by 6: 0.5235987755982988 radians (one ulp below the nearest)."""

    @property
    def angle(self) -> float:
        """The angle in radians. Assigning converts like float(); a str raises TypeError."""

    @angle.setter
    def angle(self, value: _Float) -> None: ...
    def to_degrees(self) -> AngleDegrees:
        """The angle in degrees, (angle × 180) ÷ π: multiplied first, then divided."""

    def sin(self) -> float:
        """The sine."""

    def cos(self) -> float:
        """The cosine."""

    def tan(self) -> float:
        """The tangent."""

    def sec(self) -> float:
        """The secant, 1 ÷ cos; inf at a zero cosine, no error."""

    def csc(self) -> float:
        """The cosecant, 1 ÷ sin; ±inf at ±0, no error."""

    def cot(self) -> float:
        """The cotangent, 1 ÷ tan; ±inf at ±0, no error."""

    def __format__(self, format_spec: str) -> str:
        """The repr with format(number, format_spec) applied to each number:
        format(AngleRadians(1.5), ".2f") is "1.50 radians".

        An empty format_spec gives the repr; a format float refuses raises float's own ValueError.
        """

    def __neg__(self) -> AngleRadians:
        """The angle with its sign flipped."""

    def __add__(self, other: AngleRadians, /) -> AngleRadians:
        """The sum of two angles; adding a plain number is a TypeError."""

    def __radd__(self, other: AngleRadians, /) -> AngleRadians:
        """other + self, for two angles."""

    def __sub__(self, other: AngleRadians, /) -> AngleRadians:
        """The difference of two angles."""

    def __rsub__(self, other: AngleRadians, /) -> AngleRadians:
        """other - self, for two angles."""

    def __mul__(self, rhs: _Float, /) -> AngleRadians:
        """The angle times a number (the number on the right only)."""

    def __truediv__(self, rhs: _Float, /) -> AngleRadians:
        """The angle divided by a number; by 0 gives an infinite or NaN angle, no error."""

    def __eq__(self, other: object, /) -> bool:
        """Exact comparison of the angles; False against anything but an AngleRadians."""

    def __ne__(self, other: object, /) -> bool:
        """The negation of ==."""

    def __lt__(self, other: AngleRadians, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

    def __le__(self, other: AngleRadians, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

    def __gt__(self, other: AngleRadians, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

    def __ge__(self, other: AngleRadians, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

@final
class AngleDegrees:
    """An angle in degrees, for input and display; convert with to_radians() to compute.

    Compares exactly as floats do and is unhashable. repr is "90°".
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]

    def __new__(cls, angle: _Float) -> Self:
        """Make the angle, stored unchanged. Raises TypeError for a value float() rejects."""

    @property
    def angle(self) -> float:
        """The angle in degrees. Assigning converts like float(); a str raises TypeError."""

    @angle.setter
    def angle(self, value: _Float) -> None: ...
    def to_radians(self) -> AngleRadians:
        """The angle in radians, (angle × π) ÷ 180: multiplied first, then divided."""

    def __format__(self, format_spec: str) -> str:
        """The repr with format(number, format_spec) applied to each number:
        format(AngleDegrees(90), ".1f") is "90.0°".

        An empty format_spec gives the repr; a format float refuses raises float's own ValueError.
        """

    def __neg__(self) -> AngleDegrees:
        """The angle with its sign flipped."""

    def __eq__(self, other: object, /) -> bool:
        """Exact comparison of the angles; False against anything but an AngleDegrees."""

    def __ne__(self, other: object, /) -> bool:
        """The negation of ==."""

    def __lt__(self, other: AngleDegrees, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

    def __le__(self, other: AngleDegrees, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

    def __gt__(self, other: AngleDegrees, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

    def __ge__(self, other: AngleDegrees, /) -> bool:
        """Exact ordering as for floats; False when either holds NaN."""

@final
class Quat:
    """A quaternion w + i𝐢 + j𝐣 + k𝐤 of doubles, scalar first, never normalised implicitly.

    from_axis_angle and rotate turn by the right-hand rule; to_rotation_matrix and
    to_axis_angle read the stored value in the opposite sense. `==` is tolerant (ε); unhashable.
    """

    __array_ufunc__: ClassVar[None]
    """None, so numpy's operators never take a Quat for an array operand."""

    __hash__: ClassVar[None]  # type: ignore[assignment]

    def __new__(cls, w: _Float, i: _Float, j: _Float, k: _Float) -> Self:
        """Make the quaternion from its four fields, stored unchanged (not normalised)."""

    @staticmethod
    def identity() -> Quat:
        """The identity rotation Quat(1, 0, 0, 0)."""

    @staticmethod
    def from_axis_angle(axis: Vec3d, angle: AngleRadians) -> Quat:
        """(cos(θ/2), -sin(θ/2)·axis): with rotate() it turns by +θ about `axis` (right-hand rule).

        The axis is not normalised. `angle` must be an AngleRadians; a float is a TypeError.
        """

    @staticmethod
    def between(a: Vec3d, b: Vec3d) -> Quat:
        """The shortest-arc rotation with between(a, b).rotate(a.normalize()) ≈ b.normalize().

        Parallel directions give the identity; opposite ones the half turn about
        normalize(a × e), e the axis of a's smallest component (x, y, z first on ties).
        A zero or non-finite vector gives NaN, no error.
        """

    @staticmethod
    def from_rotation_matrix(m: Sequence[Sequence[_Float]] | _Rows) -> Quat:
        """The inverse of to_rotation_matrix: q or -q, its largest component positive.

        `m` is three rows of three floats (lists, tuples, a (3, 3) NumPy array). The result is
        normalised. TypeError for another shape or a non-float element (each length checked
        before anything is copied); ValueError if an entry is NaN or infinite, the rows are
        not orthonormal within 1e-6 (any rotation matrix rounded to float32 passes) or the
        determinant is -1 (a reflection).
        """

    @staticmethod
    def from_intrinsic_euler(axes: str, a: AngleRadians, b: AngleRadians, c: AngleRadians) -> Quat:
        """Turn about axis P by a, then about the once-turned Q by b, then the twice-turned R by c.

        `axes` "pqr" is three of the letters x, y, z (either case, no meaning to it) with no
        letter twice in a row: xyz xzy yxz yzx zxy zyx, or xyx xzx yxy yzy zxz zyz. The same
        rotation as from_extrinsic_euler of the reversed axes with (c, b, a); it rotates v to
        R_P(a)·R_Q(b)·R_R(c)·v. scipy writes this sequence in upper case. ValueError naming the
        string for bad axes; TypeError for a non-str or an angle that is not an AngleRadians.
        """

    @staticmethod
    def from_extrinsic_euler(axes: str, a: AngleRadians, b: AngleRadians, c: AngleRadians) -> Quat:
        """Turn about the fixed axis P by a, then the fixed Q by b, then the fixed R by c.

        Exactly from_axis_angle(P, a).then(from_axis_angle(Q, b)).then(from_axis_angle(R, c)).
        `axes` as for from_intrinsic_euler; scipy writes this sequence in lower case.
        """

    @staticmethod
    def from_rotation_vector(v: Vec3d) -> Quat:
        """The turn by |v| radians about v/|v| (right-hand rule); the zero vector gives the identity.

        Accurate for tiny vectors: for |v| = 1e-300 the vector part is -v/2 to the last bit.
        Raises TypeError if `v` is not a Vec3d.
        """

    @staticmethod
    def from_xyzw(x: _Float, y: _Float, z: _Float, w: _Float) -> Quat:
        """The scalar-last quaternion of glTF, ROS, Unity and scipy (it rotates v as q·v·q*).

        Exactly Quat(w, -x, -y, -z): signs changed, nothing normalised, -0.0 kept. So
        Quat.from_xyzw(*r.as_quat()).rotate(v) equals scipy's r.apply(v).
        """

    @staticmethod
    def from_wxyz(w: _Float, x: _Float, y: _Float, z: _Float) -> Quat:
        """The scalar-first Hamilton quaternion of PyGLM, Eigen, numpy-quaternion and Open3D
        (it rotates v as q·v·q*): Quat.from_xyzw(x, y, z, w), bit for bit.

        So Quat.from_wxyz(g.w, g.x, g.y, g.z).rotate(v) equals PyGLM's g * v.
        """

    @property
    def w(self) -> float:
        """The scalar part. Assigning converts like float(); a str raises TypeError."""

    @w.setter
    def w(self, value: _Float) -> None: ...
    @property
    def i(self) -> float:
        """The first imaginary coefficient. Assigning converts like float()."""

    @i.setter
    def i(self, value: _Float) -> None: ...
    @property
    def j(self) -> float:
        """The second imaginary coefficient. Assigning converts like float()."""

    @j.setter
    def j(self, value: _Float) -> None: ...
    @property
    def k(self) -> float:
        """The third imaginary coefficient. Assigning converts like float()."""

    @k.setter
    def k(self, value: _Float) -> None: ...
    def conjugate(self) -> Quat:
        """(w, -i, -j, -k)."""

    def magnitude(self) -> float:
        """√(w² + i² + j² + k²)."""

    def normalize(self) -> Quat:
        """Every field divided by the magnitude; the zero quaternion gives four NaN, no error."""

    def to_vec3d(self) -> tuple[float, float, float]:
        """The vector part as a tuple (i, j, k); w is dropped. A tuple, not a Vec3d."""

    def is_unit(self) -> bool:
        """True when |magnitude() - 1| < ε."""

    def to_axis_angle(self) -> tuple[Vec3d, AngleRadians]:
        """(axis, angle) with angle = 2·acos(w); of from_axis_angle(a, θ) it gives (-a, θ).

        When |w - 1| < ε it is (Vec3d(1, 0, 0), 0 radians); |w| > 1 gives NaN.
        """

    def to_rotation_matrix(self) -> list[list[float]]:
        """The 3×3 matrix of v ↦ q·v·q̄ as three rows; rotate(v) equals its transpose times v.

        Not normalised first: a non-unit quaternion gives a non-orthogonal matrix.
        """

    def rotate(self, v: Vec3d) -> Vec3d:
        """The vector part of q̄·(0, v)·q; not normalised, so it also scales by |q|².

        Raises TypeError if `v` is not a Vec3d.
        """

    @overload
    def then(self, other: Quat) -> Quat:
        """The rotation that applies this one first and `other` second (Hamilton product q·other).

        q.then(other).rotate(v) equals other.rotate(q.rotate(v)) up to rounding.
        """

    @overload
    def then(self, other: QuatList) -> QuatList:
        """This rotation before each of a list: element i is q.then(other[i]), bit for bit.

        Raises TypeError "... is not an instance of 'Quat | QuatList'" for anything else.
        """

    def inverse(self) -> Quat:
        """The conjugate divided by the squared magnitude, so q.then(q.inverse()) is the identity.

        The zero quaternion gives four NaN, no error.
        """

    def slerp(self, other: Quat, t: _Float) -> Quat:
        """Spherical linear interpolation along the shorter arc, both ends normalised first.

        t = 0 gives this one normalised, t = 1 `other` (or -other, the same rotation), and
        other t extrapolate; the angle turned is t times the angle between the two.
        """

    def to_intrinsic_euler(self, axes: str) -> tuple[AngleRadians, AngleRadians, AngleRadians]:
        """The angles (a, b, c) from which from_intrinsic_euler(axes, ...) rebuilds this rotation.

        Normalised first; q and -q give the same angles. a and c lie in [-π, π], b in
        [-π/2, π/2] (xyz ... zyx) or [0, π] (xyx ... zyz). When b is exactly at a limit
        (gimbal lock), c is 0 and a carries the whole turn; there is no warning and no
        threshold. A zero or non-finite quaternion gives three NaN.
        """

    def to_extrinsic_euler(self, axes: str) -> tuple[AngleRadians, AngleRadians, AngleRadians]:
        """The angles (a, b, c) from which from_extrinsic_euler(axes, ...) rebuilds this rotation.

        Ranges, gimbal lock and degenerate input as for to_intrinsic_euler.
        """

    def to_rotation_vector(self) -> Vec3d:
        """The v with |v| in [0, π] from which from_rotation_vector rebuilds this rotation.

        Normalised first; the angle is 2·atan2(|(i, j, k)|, |w|), accurate at every angle
        (to_axis_angle's 2·acos(w) loses small ones). Zero or non-finite gives NaN.
        """

    def to_xyzw(self) -> tuple[float, float, float, float]:
        """(-i, -j, -k, w): the scalar-last quaternion that from_xyzw reads, bit for bit."""

    def to_wxyz(self) -> tuple[float, float, float, float]:
        """(w, -i, -j, -k): the scalar-first quaternion that from_wxyz reads, bit for bit.

        glm.dquat(*q.to_wxyz()) * v equals q.rotate(v) within 1e-15·|v|.
        """

    def angle_to(self, other: Quat) -> AngleRadians:
        """The angle in [0, π] of the rotation that takes this one to `other`.

        Both normalised first, q and -q one rotation; accurate for small angles
        (q.angle_to(q) is below 1e-15). Zero or non-finite gives NaN.
        """

    def power(self, t: _Float) -> Quat:
        """The rotation by t times the angle about the same axis: bit for bit
        Quat.from_rotation_vector(self.to_rotation_vector() * t). power(0) is the identity,
        power(-1) the inverse rotation, power(0.5) the half-way rotation.
        """

    @staticmethod
    def align(source: VecList, target: VecList, weights: Sequence[_Float] | Buffer | None = None) -> tuple[Quat, float]:
        """(q, rssd): the unit quaternion q (w >= 0) minimising Σ wᵢ·|targetᵢ - q.rotate(sourceᵢ)|²
        (Wahba's problem, by the SVD of Σ wᵢ·targetᵢ·sourceᵢᵀ), and rssd the root of that sum
        at q, taken from the residuals themselves. Weights default to 1.

        When every source (or every target) lies on one line the best rotation is not
        unique and the smallest of them is returned: for one pair the rotation of
        Quat.between(source[0], target[0]); pairs that cancel give the identity. Sums run in
        fixed blocks, so the bits do not depend on the number of workers.

        ValueError for lists of different lengths, no pairs, a non-finite coordinate
        ("source[3] is not finite"), a count of weights other than the pairs', a negative,
        NaN or infinite weight ("weights[2] is negative"), or weights that are all zero.
        """

    def __format__(self, format_spec: str) -> str:
        """The repr with format(number, format_spec) applied to each number:
        format(Quat(1, 0, 0, 0), ".1f") is "Quat(1.0, 0.0, 0.0, 0.0)".

        An empty format_spec gives the repr; a format float refuses raises float's own ValueError.
        """

    def __buffer__(self, flags: int, /) -> memoryview:
        """A read-only view of the 4 doubles (w, i, j, k): format "d", shape (4,), so
        np.array(value) is a float64 array and np.asarray(value) a view. While a view lives the
        quaternion is borrowed for reading (the setters raise RuntimeError "Already borrowed"); a
        writable request is a BufferError.
        """

    def __release_buffer__(self, buffer: memoryview, /) -> None:
        """Ends the borrow a view holds."""

    def __eq__(self, other: object, /) -> bool:
        """Tolerant: all four fields differ by less than ε; False against a non-Quat.

        A NaN makes it unequal to itself. PanicException if another thread is writing `other`.
        """

    def __ne__(self, other: object, /) -> bool:
        """The negation of ==."""

@final
class RigidTransform:
    """A pose: the rotation `rotation` followed by the translation `translation`, so that
    it maps v to rotation.rotate(v) + translation.

    Composed, undone and interpolated as algebra on the two parts, never through a 4×4
    matrix; never normalised implicitly. `==` is tolerant (both parts as Quat and Vec3d
    compare); unhashable.
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]

    def __new__(cls, rotation: Quat, translation: Vec3d) -> Self:
        """The pose v ↦ rotation.rotate(v) + translation; both parts stored as given.

        Raises TypeError naming the argument if `rotation` is not a Quat or `translation`
        not a Vec3d.
        """

    @staticmethod
    def identity() -> RigidTransform:
        """A new identity pose: RigidTransform(Quat.identity(), Vec3d.zero())."""

    @staticmethod
    def from_matrix(m: Sequence[Sequence[_Float]] | _Rows) -> RigidTransform:
        """The inverse of to_matrix, in the column-vector convention of scipy, ROS, Open3D,
        Eigen and OpenGL: the rotation (q or -q) from the top-left 3×3 block A with
        A @ v == rotation.rotate(v), the translation from the last column.

        `m` is four rows of four floats (lists, tuples, a (4, 4) NumPy array). TypeError for
        another shape or a non-float element, each length checked before anything is
        copied; ValueError saying which test failed: an entry that is NaN or infinite, the
        block not a rotation matrix (its rows as Quat.from_rotation_matrix tests them), or
        the last row not (0, 0, 0, 1) within 1e-12.
        """

    @property
    def rotation(self) -> Quat:
        """A new Quat copy of the rotation (read-only)."""

    @property
    def translation(self) -> Vec3d:
        """A new Vec3d copy of the translation (read-only)."""

    @overload
    def apply(self, v: Vec3d) -> Vec3d:
        """rotation.rotate(v) + translation, bit for bit."""

    @overload
    def apply(self, v: VecList) -> VecList:
        """A new VecList, bit for bit what VecList.transform(t) makes of a copy; `v` unchanged.

        Raises TypeError "... is not an instance of 'Vec3d | VecList'" for anything else.
        """

    @overload
    def then(self, other: RigidTransform) -> RigidTransform:
        """The pose that applies this one first and `other` second.

        Its rotation is rotation.then(other.rotation) and its translation
        other.apply(translation), so t.then(other).apply(v) ≈ other.apply(t.apply(v)).
        """

    @overload
    def then(self, other: RigidTransformList) -> RigidTransformList:
        """A new list: element i is this pose followed by other's element i, bit for bit
        self.then(other[i]). TypeError "argument 'other': ... not an instance of
        'RigidTransform | RigidTransformList'" for any other type.
        """

    def inverse(self) -> RigidTransform:
        """The pose that undoes this one: rotation.inverse() and the translation
        -(rotation.inverse().rotate(translation)); exact algebra, no 4×4 inverse.
        """

    def interpolate(self, other: RigidTransform, s: _Float) -> RigidTransform:
        """The rotation rotation.slerp(other.rotation, s) and the translation
        (1 - s)·translation + s·other.translation, in that order.

        Not screw-linear interpolation: a moved point does not follow a helix.
        """

    @staticmethod
    def align(
        source: VecList, target: VecList, weights: Sequence[_Float] | Buffer | None = None
    ) -> tuple[RigidTransform, float]:
        """(t, rssd): the pose without scale minimising Σ wᵢ·|targetᵢ - t.apply(sourceᵢ)|²
        (Kabsch–Umeyama), and rssd the root of that sum at t, from the residuals. Its
        rotation is Quat.align of the points about their weighted centroids, its translation
        the target centroid minus the rotated source centroid.

        One point gives the identity rotation and the translation between the points; two
        points the rotation of Quat.between(source[1] - source[0], target[1] - target[0]).
        ValueError as for Quat.align.
        """

    def to_matrix(self) -> list[list[float]]:
        """The 4×4 matrix in the column-vector convention of scipy, ROS, Open3D, Eigen and
        OpenGL: M @ [x, y, z, 1] equals [*apply(v), 1].

        Its top-left 3×3 block is the transpose of rotation.to_rotation_matrix(), bit for
        bit; its last column the translation and 1, its last row (0, 0, 0, 1).
        """

    def __eq__(self, other: object, /) -> bool:
        """Tolerant: both rotations and both translations compare equal (fields within ε);
        False against a non-RigidTransform. A NaN makes it unequal to itself.
        """

    def __ne__(self, other: object, /) -> bool:
        """The negation of ==."""

@type_check_only
@final
class VecListIterator:
    """Iterator over a snapshot of a VecList taken by iter(); later changes to the list
    do not affect it. Not importable: reach it only through iter(vec_list).
    """

    def __iter__(self) -> Self:
        """The iterator itself."""

    def __next__(self) -> Vec3d:
        """A new Vec3d copy of the next element of the snapshot."""

@final
class VecList:
    """A growable list of Vec3d values stored as doubles, for bulk work.

    Element-wise operations run on a pool of worker threads; element i of every result is
    bit-identical to the single-vector operation on element i. Elements are copied in and out.
    """

    __array_ufunc__: ClassVar[None]
    """None, so numpy's operators defer to VecList: np.float64(2.0) * vl is a VecList and
    ndarray + vl a TypeError (use np.asarray(vl) for numpy arithmetic)."""

    def __new__(cls, list: Sequence[Vec3d] | VecList) -> Self:
        """A list holding copies of the sequence's Vec3d items, in order.

        Raises TypeError for a str ("Can't extract `str` to `Vec`"), a non-sequence, or an
        item that is not a Vec3d; nothing is created then.
        """

    @staticmethod
    def empty() -> VecList:
        """A new list with no elements."""

    @staticmethod
    def from_array(array: Buffer) -> VecList:
        """A new list from a 2-D buffer of float64 or float32 (widened exactly) with 3 columns,
        at any strides, in one pass.

        ValueError for another shape, TypeError for another format ("VecList.from_array()
        expected a 2-D buffer of float64 or float32 with 3 columns, got shape (5, 4)") or an
        object without a buffer.
        """

    @property
    def list(self) -> builtins.list[Vec3d]:
        """A new Python list of new Vec3d copies of the elements (read-only)."""

    def rotate(self, quat: Quat) -> None:
        """Rotates every element in place by Quat.rotate (conjugate on the left, not normalised).

        Raises RuntimeError "Already borrowed" if the list is in use elsewhere.
        """

    def transform(self, t: RigidTransform) -> None:
        """Moves every element in place by the pose: element i becomes t.apply(element i),
        bit for bit, whatever the number of workers.

        Raises RuntimeError "Already borrowed" if the list is in use elsewhere.
        """

    def to_array(self) -> builtins.list[builtins.list[float]]:
        """A list of [x, y, z] lists, one per element."""

    def magnitude(self) -> builtins.list[float]:
        """The length of every element."""

    def extend(self, other: VecList) -> None:
        """Appends copies of all of `other`'s elements.

        Extending a list by itself raises RuntimeError "Already mutably borrowed".
        """

    def append(self, vec: Vec3d) -> None:
        """Appends a copy of `vec`; later changes to `vec` do not reach the list."""

    def is_unit(self) -> builtins.list[bool]:
        """For every element, whether |magnitude - 1| < ε."""

    def normalize(self) -> VecList:
        """A new list of the normalised elements; a zero element gives NaN components."""

    def dot(self, other: Vec3d) -> builtins.list[float]:
        """The dot product of every element with `other`."""

    def cross(self, other: Vec3d) -> VecList:
        """A new list of element × other."""

    def collapse(self, axis: SupportsIndex) -> VecList:
        """A new list with component `axis` (0, 1 or 2) of every element set to 0.

        axis > 2 raises PanicException "assertion failed: axis <= 2"; a negative one OverflowError.
        """

    def distance_to(self, other: Vec3d) -> builtins.list[float]:
        """The distance of every element to `other`."""

    def distance_squared(self, other: Vec3d) -> builtins.list[float]:
        """The squared distance of every element to `other`."""

    def minimum_distance_to(self, other: Vec3d, stride: SupportsIndex) -> tuple[int, float]:
        """(index, distance) of an element near `other`: every `stride`-th element, then the
        neighbourhood of the best one. Exact for stride 1 or stride >= len; PanicException
        for stride 0 or an empty list.
        """

    def __len__(self) -> int:
        """The number of elements."""

    def __getitem__(self, index: SupportsIndex, /) -> Vec3d:
        """A new Vec3d copy of the element. IndexError "Index out of bounds" at or past the
        end, OverflowError for a negative index; slices are a TypeError.
        """

    def __iter__(self) -> VecListIterator:
        """An iterator over a snapshot of the elements taken now."""

    def __buffer__(self, flags: int, /) -> memoryview:
        """A read-only view of the element array itself: format "d", shape (n, 3), strides
        (24, 8). While a view lives the list is borrowed for reading (append, extend and
        rotate raise RuntimeError "Already borrowed"); a writable request is a BufferError.
        """

    def __release_buffer__(self, buffer: memoryview, /) -> None:
        """Ends the borrow a view holds."""

    def __add__(self, other: Vec3d, /) -> VecList:
        """A new list of element + other."""

    def __sub__(self, other: Vec3d, /) -> VecList:
        """A new list of element - other."""

    def __mul__(self, rhs: _Float, /) -> VecList:
        """A new list of every element scaled by a number."""

    def __rmul__(self, lhs: _Float, /) -> VecList:
        """A new list of every element scaled by a number on the left."""

    def __truediv__(self, rhs: _Float, /) -> VecList:
        """A new list of every element divided by a number; by 0 gives inf or NaN, no error."""

@type_check_only
@final
class QuatListIterator:
    """Iterator over a snapshot of a QuatList taken by iter(); later changes to the list
    do not affect it. Not importable: reach it only through iter(quat_list).
    """

    def __iter__(self) -> Self:
        """The iterator itself."""

    def __next__(self) -> Quat:
        """A new Quat copy of the next element of the snapshot."""

@final
class QuatList:
    """A growable list of Quat values (w, i, j, k) stored as doubles, for many rotations at once.

    The same container as VecList: storage, growth, borrowing, the buffer export,
    from_array, pickling and iteration behave alike. Element-wise operations run on a pool
    of worker threads; element i of every result is bit-identical to the single Quat method
    on element i. An operand that is "a Quat or a QuatList" (or "a Vec3d or a VecList")
    applies as one value to every element, or element by element from a list of the same
    length (ValueError "lengths differ: ..." otherwise). Every result is new.
    """

    __array_ufunc__: ClassVar[None]
    """None, so numpy's operators defer to QuatList, as to VecList: an ndarray operand is a
    TypeError (use np.asarray(ql) for numpy arithmetic)."""

    def __new__(cls, list: Sequence[Quat] | QuatList) -> Self:
        """A list holding copies of the sequence's Quat items, in order.

        Raises TypeError for a str, a non-sequence, or an item that is not a Quat.
        """

    @staticmethod
    def empty() -> QuatList:
        """A new list with no elements."""

    @staticmethod
    def from_array(array: Buffer) -> QuatList:
        """A new list from a 2-D buffer of float64 or float32 (widened exactly) with 4 columns
        (w, i, j, k), at any strides, in one pass; the same errors as VecList.from_array.
        """

    @staticmethod
    def from_xyzw_array(array: Buffer) -> QuatList:
        """A new list from a 2-D buffer of float64 or float32 with 4 columns in the scalar-last
        (x, y, z, w) convention of other libraries: each row becomes Quat(w, -x, -y, -z), the
        rotation they mean by it.
        """

    @staticmethod
    def from_wxyz_array(array: Buffer) -> QuatList:
        """A new list from a 2-D buffer of float64 or float32 with 4 columns in the scalar-first
        (w, x, y, z) convention of numpy-quaternion, Open3D and Eigen: element i is
        Quat.from_wxyz(*row i), bit for bit; the errors of from_xyzw_array.
        """

    @staticmethod
    def from_rotation_matrices(array: Buffer) -> QuatList:
        """A new list from a 3-D buffer of float64 or float32 of shape (n, 3, 3), each matrix
        read as Quat.from_rotation_matrix reads one.

        ValueError naming the first matrix that is not a rotation ("matrix 3: not a rotation
        matrix: ..."), and no list is made.
        """

    @staticmethod
    def from_rotation_vectors(vl: VecList) -> QuatList:
        """A new list: element i is Quat.from_rotation_vector of the VecList's element i."""

    @staticmethod
    def from_intrinsic_euler(axes: str, angles: Buffer) -> QuatList:
        """A new list from an (n, 3) buffer of float64 or float32 angles in radians: row i
        gives Quat.from_intrinsic_euler(axes, a, b, c). ValueError for bad axes or another
        shape, TypeError for another format.
        """

    @staticmethod
    def from_extrinsic_euler(axes: str, angles: Buffer) -> QuatList:
        """As from_intrinsic_euler, each row through Quat.from_extrinsic_euler."""

    @property
    def list(self) -> builtins.list[Quat]:
        """A new Python list of new Quat copies of the elements (read-only)."""

    def append(self, quat: Quat) -> None:
        """Appends a copy of `quat`."""

    def extend(self, other: QuatList) -> None:
        """Appends copies of all of `other`'s elements; extending a list by itself raises
        RuntimeError "Already mutably borrowed".
        """

    def rotate(self, vectors: Vec3d | VecList) -> VecList:
        """A new VecList: element i rotates the vector (or vector i) by Quat.rotate."""

    def then(self, other: Quat | QuatList) -> QuatList:
        """A new list: element i followed by `other` (or other's element i), as Quat.then."""

    def slerp(self, other: Quat | QuatList, t: _Float) -> QuatList:
        """A new list: Quat.slerp from element i to `other` (or other's element i) at t."""

    def inverse(self) -> QuatList:
        """A new list of the inverses of the elements (Quat.inverse)."""

    def normalize(self) -> QuatList:
        """A new list of the normalised elements; a zero element gives four NaN."""

    def interpolate(self, key_times: Sequence[_Float] | Buffer, times: Sequence[_Float] | Buffer) -> QuatList:
        """The list as keyframes at `key_times` (one per key, strictly increasing, no NaN),
        sampled at each of `times`: keys[k].slerp(keys[k + 1], (t - t_k) / (t_{k+1} - t_k))
        for the interval holding t, found by a binary search. Times at or before the first
        key take the first interval at 0, at or after the last the last interval at 1; a NaN
        time gives four NaN; one key gives that key normalised.

        ValueError for no keys, a count of key times other than the keys' (compared before
        any key time is read), or key times that do not increase strictly or hold a NaN or
        an infinity.
        """

    def to_xyzw_array(self) -> _Float64Array:
        """The elements as an (n, 4) array of scalar-last rows (-i, -j, -k, w)."""

    def to_wxyz_array(self) -> _Float64Array:
        """The elements as an (n, 4) array of scalar-first rows (w, -i, -j, -k): row i is
        element i's Quat.to_wxyz().
        """

    def to_rotation_matrices(self) -> _Float64Array:
        """An (n, 3, 3) array: matrix i has the rows of element i's Quat.to_rotation_matrix."""

    def to_rotation_vectors(self) -> VecList:
        """A new VecList of the elements' Quat.to_rotation_vector."""

    def to_intrinsic_euler(self, axes: str) -> _Float64Array:
        """An (n, 3) array of radians: row i holds element i's Quat.to_intrinsic_euler(axes)."""

    def to_extrinsic_euler(self, axes: str) -> _Float64Array:
        """An (n, 3) array of radians: row i holds element i's Quat.to_extrinsic_euler(axes)."""

    def angle_to(self, other: Quat | QuatList) -> _Float64Array:
        """The angle in radians of the rotation from element i to `other` (or other's element
        i), as Quat.angle_to, as an (n,) array.
        """

    def mean(self, weights: Sequence[_Float] | Buffer | None = None) -> Quat:
        """The rotation minimising the weighted sum of squared chordal distances to the
        elements (Markley's method: the eigenvector of the largest eigenvalue of Σ wᵢ·qᵢ·qᵢᵀ
        over the normalised elements), a unit Quat with w >= 0. q and -q count as one
        rotation: flipping the sign of any element leaves the result's bits unchanged.

        ValueError for an empty list, a zero or non-finite element, or weights as refused
        by Quat.align.
        """

    @staticmethod
    def random(n: SupportsIndex, seed: SupportsIndex) -> QuatList:
        """n rotations drawn uniformly over all rotations (unit quaternions, w >= 0) from the
        stream keyed by `seed` (0 to 2**64 - 1): element i depends only on seed and i, so
        random(m, seed) is the first m elements of random(n, seed), on every machine and at
        any number of workers. The stream (Philox4x64-10) is described in the reference.
        """

    def power(self, t: _Float) -> QuatList:
        """A new list of the elements' Quat.power(t)."""

    def accumulate(self) -> QuatList:
        """A new list whose element i is self[0].then(self[1]).then(...).then(self[i]), bit for
        bit that left-to-right loop: with QuatList.from_rotation_vectors(omega * dt) it
        integrates angular velocity.
        """

    def differences(self) -> QuatList:
        """A new list of n - 1 elements (empty for fewer than two): element i is the rotation d
        with self[i].then(d) == self[i + 1], bit for bit self[i].inverse().then(self[i + 1]).
        """

    def __len__(self) -> int:
        """The number of elements."""

    @overload
    def __getitem__(self, index: SupportsIndex, /) -> Quat:
        """A new Quat copy of the element, a negative index counting from the end, as in a
        Python list. IndexError "Index out of bounds" outside the list.
        """
    @overload
    def __getitem__(self, index: slice, /) -> QuatList:
        """A new QuatList holding copies of the elements the slice selects."""

    def __iter__(self) -> QuatListIterator:
        """An iterator over a snapshot of the elements taken now."""

    def __buffer__(self, flags: int, /) -> memoryview:
        """A read-only view of the element array itself: format "d", shape (n, 4), strides
        (32, 8). While a view lives the list is borrowed for reading (append and extend raise
        RuntimeError "Already borrowed"); a writable request is a BufferError.
        """

    def __release_buffer__(self, buffer: memoryview, /) -> None:
        """Ends the borrow a view holds."""

@final
class KDTree:
    """An exact nearest-neighbour index over a fixed set of points, for many queries at once.

    The tree keeps its own copy of the points, in an order of its own; indices everywhere
    are positions in the VecList it was built from. It never changes, so queries borrow
    nothing and any number of threads may query one tree. Every distance is exactly
    points[i].distance_to(q). Among equal distances the smaller index comes first (also
    when the squared distances differ and only the distances are equal), and a bound
    (max_distance, radius) admits a point whose distance equals it. Batch queries run on
    the worker pool; their results are the same bits at any worker count. A query point
    with a NaN or infinite coordinate is a ValueError "points[i] is not finite" naming the
    first one ("point is not finite" for nearest).
    """

    def __new__(cls, points: VecList) -> Self:
        """A tree over a copy of `points`; later changes to the list do not affect it.
        ValueError "points[7] is not finite" for the first point with a NaN or infinite
        coordinate. An empty list gives an empty tree. Pickled and copied as its points (the
        copy is rebuilt and gives the same answers).
        """

    def __len__(self) -> int:
        """The number of points."""

    @property
    def points(self) -> VecList:
        """A new VecList of the points in their original order."""

    def nearest(self, point: Vec3d) -> tuple[int, float]:
        """(index, distance) of the nearest point, the smaller index among equals.
        ValueError "KDTree.nearest() needs a tree with at least one point" on an empty tree.
        """

    def query(
        self, points: VecList, k: SupportsIndex | None = 1, max_distance: _Float | None = ...
    ) -> tuple[_Float64Array, _Int64Array]:
        """(distances, indices): for each query point its k nearest points at distance
        <= max_distance (default inf; None means the default, for k too), sorted by distance then index, as two (n, k) arrays
        (two-dimensional also for k = 1). A neighbour that does not exist (k above len, or
        farther than max_distance) is distance inf and index len(tree). ValueError "k must be
        at least 1", "max_distance must not be NaN or negative"; MemoryError when the rows
        cannot be held.
        """

    def within(self, points: VecList, radius: _Float) -> tuple[_Int64Array, _Int64Array]:
        """(offsets, indices) in compressed rows: the points at distance <= radius of query
        point i are indices[offsets[i]:offsets[i + 1]], in increasing index order; offsets
        has n + 1 entries. ValueError "radius must not be NaN or negative".
        """

    def count_within(self, points: VecList, radius: _Float) -> _Int64Array:
        """How many points lie at distance <= radius of each query point, an (n,) array."""

    def pairs_within(self, radius: _Float) -> _Int64Array:
        """Every pair i < j of the tree's points at distance <= radius, as an (m, 2) array
        sorted by i then j.
        """

    def __sizeof__(self) -> int:
        """The bytes the tree holds, its copy of the points included (about 36 a point)."""

@type_check_only
@final
class RigidTransformListIterator:
    """Iterator over a snapshot of a RigidTransformList taken by iter(); later changes to the
    list do not affect it. Not importable: reach it only through iter(transform_list).
    """

    def __iter__(self) -> Self:
        """The iterator itself."""

    def __next__(self) -> RigidTransform:
        """A new RigidTransform copy of the next element of the snapshot."""

@final
class RigidTransformList:
    """A growable list of RigidTransform values (a trajectory), each seven doubles: the
    rotation (w, i, j, k), then the translation (x, y, z).

    The same container as VecList and QuatList: storage, growth, borrowing, the buffer
    export, from_array, pickling (one block) and iteration behave alike. Element-wise
    operations run on a pool of worker threads; element i of every result is bit-identical
    to the single RigidTransform method on element i. An operand that is "a RigidTransform
    or a RigidTransformList" (for apply, "a Vec3d or a VecList") applies as one value to
    every element, or element by element from a list of the same length (ValueError
    "lengths differ: ..." otherwise); any other type is a TypeError naming both classes.
    Every result is new.
    """

    __array_ufunc__: ClassVar[None]
    """None, so numpy's operators defer to the list: an ndarray operand is a TypeError."""

    def __new__(cls, list: Sequence[RigidTransform] | RigidTransformList) -> Self:
        """A list holding copies of the sequence's RigidTransform items, in order.

        Raises TypeError for a str, a non-sequence, or an item that is not a RigidTransform.
        """

    @staticmethod
    def empty() -> RigidTransformList:
        """A new list with no elements."""

    @staticmethod
    def from_array(array: Buffer) -> RigidTransformList:
        """A new list from a 2-D buffer of float64 or float32 (widened exactly) with 7 columns
        (w, i, j, k, x, y, z), at any strides, in one pass; the same errors as VecList.from_array.
        """

    @staticmethod
    def from_components(rotations: Quat | QuatList, translations: Vec3d | VecList) -> RigidTransformList:
        """A new list: element i is RigidTransform(rotation i, translation i). Either part may
        be one value for every pose; at least one must be a list, which gives the length
        (TypeError "RigidTransformList.from_components() expected a QuatList of rotations or a
        VecList of translations (or both), got one Quat and one Vec3d" otherwise).
        """

    @staticmethod
    def from_xyz_xyzw_array(array: Buffer) -> RigidTransformList:
        """A new list from a 2-D buffer of float64 or float32 with 7 columns (x, y, z, qx, qy,
        qz, qw), the rows of TUM trajectories and ROS pose messages: the translation, then the
        scalar-last quaternion as Quat.from_xyzw reads it. The errors of from_array.
        """

    @staticmethod
    def from_matrices(array: Buffer) -> RigidTransformList:
        """A new list from a 3-D buffer of float64 or float32 of shape (n, 4, 4), each matrix
        read and checked as RigidTransform.from_matrix reads one, or of shape (n, 3, 4), the
        top three rows of such matrices with the last row (0, 0, 0, 1) implied.

        ValueError naming the first matrix that is not a pose ("matrix 3: not a rigid
        transform matrix: ..."), and no list is made; ValueError for another shape, TypeError
        for another format.
        """

    @property
    def list(self) -> builtins.list[RigidTransform]:
        """A new Python list of new RigidTransform copies of the elements (read-only)."""

    @property
    def rotations(self) -> QuatList:
        """A new QuatList of the elements' rotations (read-only)."""

    @property
    def translations(self) -> VecList:
        """A new VecList of the elements' translations (read-only)."""

    def append(self, transform: RigidTransform) -> None:
        """Appends a copy of `transform`."""

    def extend(self, other: RigidTransformList) -> None:
        """Appends copies of all of `other`'s elements; extending a list by itself raises
        RuntimeError "Already mutably borrowed".
        """

    def apply(self, points: Vec3d | VecList) -> VecList:
        """A new VecList: element i applies pose i to the point (or to point i), as
        RigidTransform.apply.
        """

    def then(self, other: RigidTransform | RigidTransformList) -> RigidTransformList:
        """A new list: element i followed by `other` (or other's element i), as RigidTransform.then."""

    def inverse(self) -> RigidTransformList:
        """A new list of the inverses of the elements (RigidTransform.inverse)."""

    def normalize(self) -> RigidTransformList:
        """A new list: the rotations normalised as Quat.normalize does, the translations unchanged."""

    def interpolate(self, key_times: Sequence[_Float] | Buffer, times: Sequence[_Float] | Buffer) -> RigidTransformList:
        """The list as keyframes at `key_times` (one per key, strictly increasing, no NaN),
        sampled at each of `times`: keys[k].interpolate(keys[k + 1], (t - t_k) / (t_{k+1} - t_k))
        for the interval holding t, found by a binary search. Times at or before the first
        key take the first interval at 0, at or after the last the last interval at 1; a NaN
        time gives seven NaN. The errors of QuatList.interpolate, in its order.
        """

    def to_matrices(self) -> _Float64Array:
        """An (n, 4, 4) array: matrix i is element i's RigidTransform.to_matrix."""

    def to_xyz_xyzw_array(self) -> _Float64Array:
        """The elements as an (n, 7) array of rows (x, y, z, qx, qy, qz, qw), which
        from_xyz_xyzw_array reads back bit for bit.
        """

    def angle_to(self, other: RigidTransform | RigidTransformList) -> _Float64Array:
        """An (n,) array: the angle in radians between the rotation of element i and that of
        `other` (or other's element i), as Quat.angle_to.
        """

    def distance_to(self, other: RigidTransform | RigidTransformList) -> _Float64Array:
        """An (n,) array: the distance between the translation of element i and that of
        `other` (or other's element i), as Vec3d.distance_to.
        """

    def __len__(self) -> int:
        """The number of elements."""

    @overload
    def __getitem__(self, index: SupportsIndex, /) -> RigidTransform:
        """A new RigidTransform copy of the element, a negative index counting from the end, as
        in a Python list. IndexError "Index out of bounds" outside the list.
        """
    @overload
    def __getitem__(self, index: slice, /) -> RigidTransformList:
        """A new RigidTransformList holding copies of the elements the slice selects."""

    def __iter__(self) -> RigidTransformListIterator:
        """An iterator over a snapshot of the elements taken now."""

    def __buffer__(self, flags: int, /) -> memoryview:
        """A read-only view of the element array itself: format "d", shape (n, 7), strides
        (56, 8). While a view lives the list is borrowed for reading (append and extend raise
        RuntimeError "Already borrowed"); a writable request is a BufferError.
        """

    def __release_buffer__(self, buffer: memoryview, /) -> None:
        """Ends the borrow a view holds."""
