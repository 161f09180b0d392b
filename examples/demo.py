"""A short tour of kalvor: real vector work, printed."""

import math
import random
import time
from array import array
from collections.abc import Callable

import kalvor
from kalvor import AngleDegrees, AngleRadians, KDTree, Quat, QuatList, RigidTransform, RigidTransformList, Vec3d, VecList, geometry


def section(title: str) -> None:
    print(f"\n== {title}")


def vectors() -> None:
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


def rotations() -> None:
    section("Angles and rotations")
    quarter = AngleDegrees(90).to_radians()
    print(f"90° is {quarter}; pi is {AngleRadians.pi().to_degrees()}; sin(pi/6) = {AngleRadians.sixth_pi().sin()}")
    turn = Quat.from_axis_angle(Vec3d.k(), quarter)
    print(f"a quarter turn about z: {turn}")
    for v in (Vec3d.i(), Vec3d(1, 1, 0), Vec3d(0, 0, 5)):
        print(f"  {v} -> {turn.rotate(v)}")
    axis, angle = Quat.from_axis_angle(Vec3d(0.6, 0, 0.8), AngleRadians(1.0)).to_axis_angle()
    print(f"axis and angle read back: {axis}, {angle}")
    print(f"angle between x and (1, 1, 0): {Vec3d.i().angle_to(Vec3d(1, 1, 0)).to_degrees()}")

    # An aircraft attitude as yaw, pitch and roll: turns about z, the turned y, the twice-turned x.
    yaw, pitch, roll = (AngleDegrees(d).to_radians() for d in (30, 10, -5))
    attitude = Quat.from_intrinsic_euler("zyx", yaw, pitch, roll)
    print(f"yaw 30°, pitch 10°, roll -5°: the nose points along {attitude.rotate(Vec3d.i())}")
    back = ", ".join(f"{a.to_degrees().angle:.12g}°" for a in attitude.to_intrinsic_euler("zyx"))
    print(f"  read back as yaw, pitch, roll: {back}; as scalar-last (x, y, z, w) for ROS or scipy: {attitude.to_xyzw()}")
    print(f"  as a rotation vector: {attitude.to_rotation_vector()}, turning {attitude.angle_to(Quat.identity()).to_degrees()} in all")


def animation() -> None:
    section("A camera between two keyframes")
    # The camera looks down -z. Keyframe 1 looks straight ahead; keyframe 2 is
    # rolled 30° about the line of sight, then turned to face a target (then:
    # the roll applies first, in camera space, the turn second).
    ahead, target = Vec3d(0, 0, -1), Vec3d(4, 3, -4)
    roll = Quat.from_axis_angle(ahead, AngleDegrees(30).to_radians())
    first, second = Quat.identity(), roll.then(Quat.between(ahead, target))
    # The corners of the image plane in camera space, taken to the world at each frame.
    corners = [Vec3d(-1, -0.75, -1), Vec3d(1, -0.75, -1), Vec3d(1, 0.75, -1), Vec3d(-1, 0.75, -1)]
    for frame in range(5):
        orientation = first.slerp(second, frame / 4)
        world = VecList(corners)
        world.rotate(orientation)
        print(f"  t = {frame / 4:<4}: looking along {orientation.rotate(ahead)}, first corner at {world[0]}")
    # An orientation read back from a stored matrix; its inverse turns the target back ahead.
    stored = Quat.from_rotation_matrix(second.to_rotation_matrix())
    print(f"  keyframe 2 from its matrix: {stored}")
    print(f"  the target seen from the camera: {second.inverse().rotate(target.normalize())}")


def poses() -> None:
    section("A sensor on a vehicle in the world: a chain of poses")
    # The lidar sits 1.5 m ahead of the vehicle's origin and 2 m up, pitched 10° down;
    # the vehicle stands at (100, 50) in the world, heading 90° to the left.
    pitch = Quat.from_axis_angle(Vec3d(0, 1, 0), AngleDegrees(10).to_radians())
    sensor_on_vehicle = RigidTransform(pitch, Vec3d(1.5, 0, 2))
    vehicle_in_world = RigidTransform(Quat.from_axis_angle(Vec3d.k(), AngleDegrees(90).to_radians()), Vec3d(100, 50, 0))
    # Sensor coordinates to world coordinates: the sensor's pose first, then the vehicle's.
    sensor_in_world = sensor_on_vehicle.then(vehicle_in_world)
    print(f"sensor in the world: {sensor_in_world}")
    # A scan: points 10 m ahead of the sensor, spread left to right.
    scan = [Vec3d(10, y, 0) for y in (-2.0, -1.0, 0.0, 1.0, 2.0)]
    cloud = VecList(scan)
    cloud.transform(sensor_in_world)  # in place, on the worker pool
    print(f"  the scan's middle point in the world: {cloud[2]} (by hand: {vehicle_in_world.apply(sensor_on_vehicle.apply(scan[2]))})")
    # And back to the sensor's frame with the inverse pose (algebra, not a 4x4 inverse).
    cloud.transform(sensor_in_world.inverse())
    error = max(p.distance_to(q) for p, q in zip(cloud, scan, strict=True))
    print(f"  back in the sensor's frame, largest error {error:.1e} m")
    # A pose stored as a 4x4 matrix (M @ [x, y, z, 1], as scipy, ROS and Open3D read it) and read back.
    stored = RigidTransform.from_matrix(sensor_in_world.to_matrix())
    # The matrix's rounding moves w by an ulp or two, more than the tolerant == allows.
    turn = stored.rotation.angle_to(sensor_in_world.rotation).angle
    print(f"  read back from its matrix: turned {turn:.1e} rad from the original, moved "
          f"{stored.translation.distance_to(sensor_in_world.translation)}; halfway from the vehicle: "
          f"{vehicle_in_world.interpolate(sensor_in_world, 0.5).translation}")


def timed[T](label: str, work: Callable[[], T]) -> T:
    start = time.perf_counter()
    result = work()
    print(f"  {label}: {(time.perf_counter() - start) * 1e3:.1f} ms")
    return result


def bulk() -> None:
    section("A million points on the worker pool")
    rng = random.Random(42)
    points = [Vec3d(rng.uniform(-10, 10), rng.uniform(-10, 10), rng.uniform(-10, 10)) for _ in range(1_000_000)]
    cloud = timed("VecList from a list of 1,000,000 Vec3d", lambda: VecList(points))
    spin = Quat.from_axis_angle(Vec3d(0, 0, 1), AngleDegrees(30).to_radians())
    timed("rotate all points 30° about z, in place", lambda: cloud.rotate(spin))
    directions = timed("normalize every point", lambda: cloud.normalize())
    print(f"  first point {cloud[0]}, its direction {directions[0]}, unit: {directions.is_unit()[0]}")
    query = Vec3d(1, 2, 3)
    exact = timed("nearest point to (1, 2, 3), every point", lambda: cloud.minimum_distance_to(query, 1))
    coarse = timed("nearest point with a coarse stride of 1000", lambda: cloud.minimum_distance_to(query, 1000))
    print(f"  exact: index {exact[0]} at distance {exact[1]:.6f}; coarse: index {coarse[0]} at {coarse[1]:.6f}")


def keyframes() -> None:
    section("A keyframe track sampled at many times, applied to a point cloud")
    # A turntable with a wobble: five orientations (yaw, pitch, roll in degrees) over four seconds,
    # read as one (5, 3) buffer of radians. No numpy needed: any buffer will do.
    key_times = [0.0, 1.0, 2.0, 3.0, 4.0]
    degrees = [(0, 0, 0), (90, 10, 0), (180, 0, 20), (270, -10, 0), (359, 0, 0)]
    angles = memoryview(array("d", [math.radians(d) for row in degrees for d in row])).cast("B").cast("d", (5, 3))
    track = QuatList.from_intrinsic_euler("zyx", angles)
    nose = track.interpolate(key_times, [0.0, 0.5, 1.0, 2.5, 9.0]).rotate(Vec3d.i())
    print("  the nose at t = 0, 0.5, 1, 2.5 and 9 (after the last key, it stays):")
    for v in nose:
        print(f"    {v}")
    # A spinning lidar: 200,000 points, each taken at its own time while the platform turned.
    # Each is put back in the world by the orientation at its own time stamp: one slerp per
    # point (a binary search for its interval), then one rotation per point, both on the pool.
    rng = random.Random(7)
    n = 200_000
    stamps = array("d", sorted(rng.uniform(0.0, 4.0) for _ in range(n)))
    scan = VecList.from_array(memoryview(array("d", [rng.uniform(-20, 20) for _ in range(3 * n)])).cast("B").cast("d", (n, 3)))
    orientations = timed(f"the track at {n:,} time stamps", lambda: track.interpolate(key_times, stamps))
    world = timed("each point turned by its own orientation", lambda: orientations.rotate(scan))
    i = n // 3
    k = max(j for j in range(4) if key_times[j] <= stamps[i])
    by_hand = track[k].slerp(track[k + 1], (stamps[i] - key_times[k]) / (key_times[k + 1] - key_times[k])).rotate(scan[i])
    print(f"  point {i} at t = {stamps[i]:.4f}: {world[i]}; by hand, one Quat at a time: {by_hand}")
    # The orientations leave as matrices or scalar-last rows, without a copy and without numpy.
    matrices = memoryview(orientations.to_rotation_matrices())
    print(f"  as rotation matrices: a {matrices.format!r} buffer of shape {matrices.shape}; readonly: {matrices.readonly}")


def rows_of(values: list[float], width: int) -> memoryview[float]:
    """A flat list of floats as an (n, width) buffer of doubles; any buffer will do, numpy's too."""
    return memoryview(array("d", values)).cast("B").cast("d", (len(values) // width, width))


def trajectory() -> None:
    section("A trajectory: poses from (x, y, z, qx, qy, qz, qw) rows, a lidar on them, a scan put in the world")
    # A vehicle drives a circle of radius 20 m at 2 m/s, heading along it. Its poses arrive
    # once a second as the rows of a TUM file or of ROS pose messages: position, then the
    # scalar-last quaternion (a turn about z by the heading).
    radius, speed, seconds = 20.0, 2.0, 10

    def row(t: float) -> list[float]:
        heading = speed * t / radius
        return [radius * math.sin(heading), radius - radius * math.cos(heading), 0.0,
                0.0, 0.0, math.sin(heading / 2), math.cos(heading / 2)]

    key_times = [float(t) for t in range(seconds + 1)]
    vehicle = RigidTransformList.from_xyz_xyzw_array(rows_of([c for t in key_times for c in row(t)], 7))
    # The lidar sits 1.5 m ahead and 2 m up, pitched 10° down: its pose on the vehicle first,
    # then each pose of the vehicle (one fixed pose before a whole list).
    extrinsic = RigidTransform(Quat.from_axis_angle(Vec3d.j(), AngleDegrees(10).to_radians()), Vec3d(1.5, 0, 2))
    lidar_keys = extrinsic.then(vehicle)
    print(f"  {len(vehicle)} keyframes; the lidar at t = 5 s: {lidar_keys[5]}")
    # A sweep of 100,000 points, each measured at its own time stamp: the lidar's pose at each
    # stamp (slerp and a straight line between the keys), then each point by its own pose.
    rng = random.Random(11)
    n = 100_000
    stamps = array("d", sorted(rng.uniform(0.0, seconds) for _ in range(n)))
    scan = VecList.from_array(rows_of([rng.uniform(-30, 30) for _ in range(3 * n)], 3))
    lidar = timed(f"the lidar's pose at {n:,} time stamps", lambda: lidar_keys.interpolate(key_times, stamps))
    world = timed("each point taken to the world by its own pose", lambda: lidar.apply(scan))
    i = n // 2
    print(f"  point {i} at t = {stamps[i]:.4f} s: {scan[i]} in the lidar's frame, {world[i]} in the world")
    # The ground truth at every stamp: the circle itself. Between keys the interpolation cuts the
    # chord, so the position is off by up to the sagitta; the heading turns evenly, so slerp is exact.
    truth = extrinsic.then(RigidTransformList.from_xyz_xyzw_array(rows_of([c for t in stamps for c in row(t)], 7)))
    moved, turned = lidar.distance_to(truth), lidar.angle_to(truth)  # numpy arrays
    sagitta = radius * (1 - math.cos(speed / radius / 2))
    print(f"  error against the ground truth: position up to {moved.max() * 1e3:.2f} mm (the vehicle's chord sagitta: "
          f"{sagitta * 1e3:.2f} mm), rotation up to {turned.max():.1e} rad")
    matrices = lidar.to_matrices()
    back = RigidTransformList.from_matrices(matrices).distance_to(lidar).max()
    print(f"  the poses as 4x4 matrices: shape {matrices.shape}; read back, moved by at most {back} m")


def neighbours() -> None:
    section("Nearest neighbours between two scans")
    # Two scans of the same ground and wall, the second taken after the sensor moved a little:
    # for every point of the first, its nearest neighbour in the second (the matching step of ICP).
    rng = random.Random(11)
    n = 200_000

    def scan() -> VecList:
        points = [Vec3d(rng.uniform(0, 40), rng.uniform(0, 40), rng.gauss(0, 0.01)) if rng.random() < 0.7
                  else Vec3d(rng.uniform(0, 40), 40 + rng.gauss(0, 0.01), rng.uniform(0, 10)) for _ in range(n)]
        return VecList(points)

    first, second = scan(), scan()
    second.transform(RigidTransform(Quat.from_axis_angle(Vec3d.k(), AngleDegrees(0.5).to_radians()), Vec3d(0.1, -0.05, 0)))
    tree = timed(f"a tree over the second scan's {n:,} points", lambda: KDTree(second))
    distances, indices = timed("the nearest neighbour of each point of the first", lambda: tree.query(first))
    close = float((distances[:, 0] < 0.05).mean())
    print(f"  median distance {float(sorted(distances[:, 0].tolist())[n // 2]):.4f} m; within 5 cm: {close:.1%}")
    i = n // 2
    j, d = second.minimum_distance_to(first[i], 1)  # stride 1: a full scan, the same answer
    print(f"  point {i}: neighbour {int(indices[i, 0])} at {float(distances[i, 0])}; by a full scan: {j} at {d}")
    pairs = tree.pairs_within(0.002)
    print(f"  pairs of the second scan closer than 2 mm: {len(pairs):,}")


def shapes() -> None:
    section("Planes and circles")
    # The plane z = 5 (the constructor takes normal·p = distance) and a line through two points.
    plane = geometry.Plane(Vec3d(0, 0, 1), 5.0)
    hit = geometry.plane_line(plane, Vec3d(1, 2, 0), Vec3d(1, 2, 1))
    print(f"line meets plane at {hit}, contained: {plane.contains_point(hit)}")

    # Two circles of radius 5 in the plane z = 0, centres 8 apart: they meet in two points.
    a = geometry.Circle(Vec3d(0, 0, 0), 5.0, Vec3d(0, 0, 1))
    b = geometry.Circle(Vec3d(8, 0, 0), 5.0, Vec3d(0, 0, 1))
    p, q = geometry.circle_circle(a, b)
    print(f"circles meet at {p} and {q}")
    print(f"on both rims: {geometry.circle_point(a, p, False)}, {geometry.circle_point(b, q, False)}")
    try:
        geometry.circle_circle(a, geometry.Circle(Vec3d(3, 0, 0), 1.0, Vec3d(0, 0, 1)))
    except ValueError as error:
        print(f"no intersection: {error}")


def errors() -> None:
    section("Errors say what went wrong")
    # The first two calls are wrong on purpose; the type checker says so too.
    calls: list[Callable[[], object]] = [
        lambda: Vec3d(1, 2),  # type: ignore[call-arg]
        lambda: Vec3d(1, 2, 3).dot((1, 2, 3)),  # type: ignore[arg-type]
        lambda: Vec3d(1, 2, 3)[3],
    ]
    for call in calls:
        try:
            call()
        except Exception as e:  # noqa: BLE001 -- the point is to print them
            print(f"{type(e).__name__}: {e}")


def main() -> None:
    print(f"kalvor exports {kalvor.__all__}")
    vectors()
    rotations()
    animation()
    poses()
    bulk()
    keyframes()
    trajectory()
    neighbours()
    shapes()
    errors()


if __name__ == "__main__":
    main()
