"""A short tour of kalvor: real vector work, printed."""

import kalvor
from kalvor import Vec3d


def section(title):
    print(f"\n== {title}")


def vectors():
    section("Vectors")
    a = Vec3d(1, 2, 3)
    b = Vec3d(4, 5, 6)
    print(f"a = {a}, b = {b}")
    print(f"a . b = {a.dot(b)}, a x b = {a.cross(b)}")
    print(f"|b - a| = {a.distance_to(b)}, unit a = {a.normalize()}")

    # A triangle: its area and its normal.
    p, q, r = Vec3d(0, 0, 0), Vec3d(4, 0, 0), Vec3d(0, 3, 0)
    n = Vec3d.new_from_to(p, q).cross(Vec3d.new_from_to(p, r))
    print(f"triangle {p}, {q}, {r}: area {n.magnitude() / 2}, normal {n.normalize()}")

    # The point of a line nearest a sensor, and how far the sensor is from it.
    sensor = Vec3d(2, 5, 1)
    foot = sensor.project_onto_line(Vec3d(10, 0, 0), Vec3d(0, 0, 0))
    print(f"sensor {sensor}: nearest point on the x axis {foot}, distance {sensor.distance_to_line(Vec3d.zero(), Vec3d.i())}")

    # Degenerate input is a value, not an exception.
    print(f"zero vector normalised: {Vec3d.zero().normalize()}, divided by 0: {Vec3d(1, 0, -1) / 0}")

    # Exact hashing, tolerant equality.
    tiny = Vec3d(0.5 + 2.0**-53, 0, 0)
    print(f"{Vec3d(0.5, 0, 0)} == {tiny}: {Vec3d(0.5, 0, 0) == tiny}; distinct in a set: {len({Vec3d(0.5, 0, 0), tiny})}")


def errors():
    section("Errors say what went wrong")
    for call in (lambda: Vec3d(1, 2), lambda: Vec3d(1, 2, 3).dot((1, 2, 3)), lambda: Vec3d(1, 2, 3)[3]):
        try:
            call()
        except Exception as e:  # noqa: BLE001 -- the point is to print them
            print(f"{type(e).__name__}: {e}")


def main():
    print(f"kalvor exports {kalvor.__all__}")
    vectors()
    errors()


if __name__ == "__main__":
    main()
