"""Planes, circles and their intersections, in the same conventions as kalvor.

Degenerate input (zero normals, collinear points, parallel lines, NaN) never raises: it
comes back as NaN/inf components or False. Only circle_circle raises ValueError.
"""

from typing import ClassVar, Self, SupportsFloat, SupportsIndex, TypeAlias, final

from kalvor import Vec3d

__all__ = ["Circle", "circle_circle", "circle_point", "circle_point_unchecked", "plane_line", "Plane"]

_Float: TypeAlias = SupportsFloat | SupportsIndex

@final
class Plane:
    """The points p with normal·p + distance = 0.

    Plane(normal, d) is the plane normal·p = d: it normalises `normal` and stores -d, so
    Plane(Vec3d(0, 0, 1), 5.0).distance is -5.0. No ==, hash or repr of its own.
    """

    def __new__(cls, normal: Vec3d, distance: _Float) -> Self:
        """The plane normal·p = distance, with `normal` normalised and -distance stored.

        A zero normal gives a NaN normal, no error.
        """

    @staticmethod
    def from_point(normal: Vec3d, point: Vec3d) -> Plane:
        """The plane through `point` with the normalised `normal`."""

    @staticmethod
    def xy() -> Plane:
        """The plane z = 0: normal (0, 0, 1), distance -0.0."""

    @staticmethod
    def xz() -> Plane:
        """The plane y = 0: normal (0, 1, 0), distance -0.0."""

    @staticmethod
    def yz() -> Plane:
        """The plane x = 0: normal (1, 0, 0), distance -0.0."""

    @staticmethod
    def from_points(point1: Vec3d, point2: Vec3d, point3: Vec3d) -> Plane:
        """The plane through three points; the normal points to the side from which they run
        counter-clockwise. Collinear points give a NaN normal and distance, no error.
        """

    def contains_point(self, point: Vec3d) -> bool:
        """True when |normal·point + distance| < ε (an absolute, tiny tolerance)."""

    def distance_to_point(self, point: Vec3d) -> float:
        """|normal·point + distance|: unsigned, the true distance only for a unit normal."""

    @property
    def normal(self) -> Vec3d:
        """A copy of the stored normal. Assigning stores the vector unchanged (not normalised)."""

    @normal.setter
    def normal(self, value: Vec3d) -> None: ...
    @property
    def distance(self) -> float:
        """The stored constant term. Assigning stores the value unchanged (not negated)."""

    @distance.setter
    def distance(self, value: _Float) -> None: ...

@final
class Circle:
    """A circle in 3-D space: center, radius and the normal of its plane.

    `==` compares centers within ε, radii exactly and normals as parallel or opposite within ε.
    Unhashable; no repr of its own.
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]

    def __new__(cls, center: Vec3d, radius: _Float, normal: Vec3d) -> Self:
        """The circle with `center`, |radius| and `normal` normalised."""

    @staticmethod
    def none() -> Circle:
        """The degenerate circle: center (0, 0, 0), radius 0, normal (NaN, NaN, NaN)."""

    def is_degenerate(self) -> bool:
        """True when the radius is 0 (or -0); False for NaN."""

    @property
    def area(self) -> float:
        """radius² · π (read-only)."""

    def get_plane(self) -> Plane:
        """The plane of the circle: the normalised normal through the center."""

    def in_same_plane(self, other: Circle) -> bool:
        """True when the normals are parallel or opposite within ε and the planes' offsets
        (normal·center, with the sign matching the normals) agree within ε.
        """

    @property
    def center(self) -> Vec3d:
        """A copy of the center. Assigning stores the vector unchanged."""

    @center.setter
    def center(self, value: Vec3d) -> None: ...
    @property
    def radius(self) -> float:
        """The radius. Assigning stores the value unchanged (a negative one stays negative)."""

    @radius.setter
    def radius(self, value: _Float) -> None: ...
    @property
    def normal(self) -> Vec3d:
        """A copy of the stored normal. Assigning stores the vector unchanged (not normalised)."""

    @normal.setter
    def normal(self, value: Vec3d) -> None: ...
    def __eq__(self, other: object, /) -> bool:
        """Centers within ε, radii exactly equal, normals parallel or opposite within ε.

        A NaN normal (as in Circle.none()) makes a circle unequal to every circle, itself included.
        """

    def __ne__(self, other: object, /) -> bool:
        """The negation of ==."""

def plane_line(plane: Plane, a: Vec3d, b: Vec3d) -> Vec3d:
    """Where the infinite line through `a` and `b` meets `plane`.

    A line parallel to the plane gives inf/NaN components, no error.
    """

def circle_point(circle: Circle, point: Vec3d, inner: bool) -> bool:
    """True when `point` lies on `circle` (within ε), or strictly inside it when `inner`.

    A point out of the circle's plane gives False. `inner` must be a bool: 1 is a TypeError.
    """

def circle_point_unchecked(circle: Circle, point: Vec3d, inner: bool) -> bool:
    """circle_point without the in-plane test: only the distance from the center counts."""

def circle_circle(circle1: Circle, circle2: Circle) -> tuple[Vec3d, Vec3d]:
    """The two points where two circles of one plane cross; their order follows circle2's normal.

    Raises ValueError when the circles are identical, out of plane, too far apart or contained.
    """
