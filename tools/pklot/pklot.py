"""PKLot labels as parking rows of the settings store.

A PKLot label file (<parking><space id occupied><contour><point x y/>...) gives one
quadrilateral per space in the pixels of its frame. The parking service wants rows of
dividers in the 320 x 240 configuration grid instead: neighbouring spaces share the
divider between them. fit_rows() groups the labelled spaces into such rows, puts each
shared divider on the middle line of the two facing label edges, and keeps which
configured (region, number) stands for which labelled space.
"""
import math
import xml.etree.ElementTree as ET

GRID_W, GRID_H = 320, 240
MAX_REGIONS, MAX_SPACES = 20, 100
# Facing edges of two spaces belong to one divider when they lie closer than this
# share of the space's width across the row, and run within this angle of each other.
NEIGHBOUR_RATIO = 0.6
NEIGHBOUR_ANGLE = math.radians(35)
MIN_IOU = 0.8
MIN_ALONG = 0.3
# Label coordinates are frame pixels; anything beyond this is not a frame's.
MAX_COORD = 1e6


class LabelError(Exception):
    pass


def read_labels(path):
    """{space id: (occupied, [4 (x, y) points in frame pixels])} of one label file."""
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as e:
        raise LabelError(f"{path}: {e}")
    spaces = {}
    for s in root.iter("space"):
        try:
            sid = int(s.get("id"))
            occupied = int(s.get("occupied", "0")) != 0
            pts = [(float(p.get("x")), float(p.get("y"))) for p in s.find("contour").iter("point")]
        except (TypeError, ValueError, AttributeError):
            raise LabelError(f"{path}: space {s.get('id')}: bad id, occupied flag or contour")
        if len(pts) != 4:
            raise LabelError(f"{path}: space {sid}: contour has {len(pts)} points, want 4")
        if not all(math.isfinite(v) and abs(v) <= MAX_COORD for p in pts for v in p):
            raise LabelError(f"{path}: space {sid}: a contour point is not a finite number "
                             f"within +-{MAX_COORD:.0f}")
        spaces[sid] = (occupied, pts)
    if not spaces:
        raise LabelError(f"{path}: no labelled space")
    return spaces


def read_camera(paths):
    """The spaces of one camera from several label files of it: {id: (occupied in
    the first file that has it, quad)}."""
    spaces = {}
    for path in paths:
        for sid, space in read_labels(path).items():
            spaces.setdefault(sid, space)
    return spaces


def report_lines(report, who):
    return [f"{who}: space {sid} fits its label with overlap {v:.2f} (< {MIN_IOU})" for sid, v in report]


def to_grid(pts, size):
    w, h = size
    return [(x * GRID_W / w, y * GRID_H / h) for x, y in pts]


def area(poly):
    return 0.5 * sum(poly[k][0] * poly[k - len(poly) + 1][1] - poly[k - len(poly) + 1][0] * poly[k][1]
                     for k in range(len(poly)))


def _clip(subject, a, b, sign):
    """The part of subject on the inner side (sign) of the line a -> b."""
    def side(p):
        return sign * ((b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]))
    out = []
    for k, p in enumerate(subject):
        q = subject[(k + 1) % len(subject)]
        sp, sq = side(p), side(q)
        if sp >= 0:
            out.append(p)
        if (sp >= 0) != (sq >= 0):
            t = sp / (sp - sq)
            out.append((p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1])))
    return out


def intersection_area(p, convex):
    """Area that polygon p shares with a convex polygon."""
    sign = 1 if area(convex) > 0 else -1
    inter = list(p)
    for k in range(len(convex)):
        if not inter:
            break
        inter = _clip(inter, convex[k], convex[(k + 1) % len(convex)], sign)
    return abs(area(inter)) if len(inter) >= 3 else 0.0


def iou(p, convex):
    """Intersection over union of polygon p and a convex polygon."""
    i = intersection_area(p, convex)
    u = abs(area(p)) + abs(area(convex)) - i
    return i / u if u > 0 else 0.0


def _dist(p, q):
    return math.hypot(p[0] - q[0], p[1] - q[1])


def _mid(p, q):
    return ((p[0] + q[0]) / 2, (p[1] + q[1]) / 2)


def _edge(quad, e):
    return quad[e % 4], quad[(e + 1) % 4]


def _facing(qi, ei, qj, ej):
    """How far edge ej of qj lies from edge ei of qi across the row, as a share of
    qi's width there; None unless the edges run alike, overlap along their length by
    MIN_ALONG at least, and qj lies beyond ei as seen from qi."""
    p0, p1 = _edge(qi, ei)
    q0, q1 = _edge(qj, ej)
    length = _dist(p0, p1)
    if length == 0 or _dist(q0, q1) == 0:
        return None
    t = ((p1[0] - p0[0]) / length, (p1[1] - p0[1]) / length)
    u = ((q1[0] - q0[0]) / _dist(q0, q1), (q1[1] - q0[1]) / _dist(q0, q1))
    if abs(t[0] * u[0] + t[1] * u[1]) < math.cos(NEIGHBOUR_ANGLE):
        return None
    n = (-t[1], t[0])
    m, o = _mid(p0, p1), _mid(*_edge(qi, ei + 2))
    width = (m[0] - o[0]) * n[0] + (m[1] - o[1]) * n[1]
    if width < 0:
        n, width = (-n[0], -n[1]), -width
    if width == 0:
        return None
    cj = (sum(p[0] for p in qj) / 4, sum(p[1] for p in qj) / 4)
    if (cj[0] - m[0]) * n[0] + (cj[1] - m[1]) * n[1] <= 0:
        return None
    along = sorted((q[0] - p0[0]) * t[0] + (q[1] - p0[1]) * t[1] for q in (q0, q1))
    shared = min(length, along[1]) - max(0.0, along[0])
    if shared < MIN_ALONG * min(length, along[1] - along[0]):
        return None
    mj = _mid(q0, q1)
    return abs((mj[0] - m[0]) * n[0] + (mj[1] - m[1]) * n[1]) / width


def _neighbours(quads):
    """{space: {edge: neighbour}}: the spaces that share a divider. Closest pairs go
    first; a space takes neighbours on two opposite edges at most, and no row closes
    on itself."""
    ids = sorted(quads)
    cand = []
    for a, i in enumerate(ids):
        for j in ids[a + 1:]:
            for ei in range(4):
                for ej in range(4):
                    ri = _facing(quads[i], ei, quads[j], ej)
                    rj = _facing(quads[j], ej, quads[i], ei)
                    if ri is not None and rj is not None and max(ri, rj) < NEIGHBOUR_RATIO:
                        cand.append((max(ri, rj), i, ei, j, ej))
    cand.sort()
    used = {}   # space -> {edge: neighbour}
    row_of = {i: i for i in ids}

    def root(i):
        while row_of[i] != i:
            i = row_of[i]
        return i

    for _, i, ei, j, ej in cand:
        ok = True
        for s, e in ((i, ei), (j, ej)):
            taken = used.get(s, {})
            if e in taken or any((t - e) % 2 for t in taken):
                ok = False
        if not ok or root(i) == root(j):
            continue
        used.setdefault(i, {})[ei] = j
        used.setdefault(j, {})[ej] = i
        row_of[root(i)] = root(j)
    return used


def _row_dividers(quads, used, start):
    """Walks one row from its end space: the spaces in order and their dividers,
    each divider a pair (end a, end b)."""
    links = used.get(start, {})
    if links:
        near = (next(iter(links)) + 2) % 4   # the free edge of the end space
    else:   # a lone space: its longer edges are the dividers
        q = quads[start]
        near = 0 if _dist(*_edge(q, 0)) + _dist(*_edge(q, 2)) >= _dist(*_edge(q, 1)) + _dist(*_edge(q, 3)) else 1
    q = quads[start]
    a, b = q[near], q[(near + 1) % 4]
    dividers = [(a, b)]
    order = []
    space, prev = start, None
    while space is not None:
        order.append(space)
        q = quads[space]
        # The near divider is edge `near`: which of its ends is `a`?
        if _dist(q[near], a) + _dist(q[(near + 1) % 4], b) <= _dist(q[near], b) + _dist(q[(near + 1) % 4], a):
            na, nb = q[(near + 3) % 4], q[(near + 2) % 4]
        else:
            na, nb = q[(near + 2) % 4], q[(near + 3) % 4]
        far = (near + 2) % 4
        nxt = used.get(space, {}).get(far)
        if nxt is not None and nxt != prev:
            fe = next(e for e, s in used[nxt].items() if s == space)
            f0, f1 = _edge(quads[nxt], fe)
            if _dist(f0, na) + _dist(f1, nb) > _dist(f0, nb) + _dist(f1, na):
                f0, f1 = f1, f0
            na, nb = _mid(na, f0), _mid(nb, f1)
            prev, space, near = space, nxt, fe
        else:
            space = None
        a, b = na, nb
        dividers.append((a, b))
    return order, dividers


def fit_rows(spaces, size):
    """Rows for the labelled spaces {id: (occupied, frame quad)} of a frame of the
    given (width, height). Returns (rows, report): rows is a list of
    {"first": number, "dividers": [(ax, ay, bx, by) ints], "ids": [label id per space]},
    report a list of (label id, iou) for spaces fitted worse than MIN_IOU."""
    # The neighbour search pairs every two spaces: refuse what the service cannot take
    # before paying for it.
    if len(spaces) > MAX_SPACES:
        raise LabelError(f"{len(spaces)} labelled spaces: the service takes at most {MAX_SPACES} spaces")
    quads = {sid: to_grid(q, size) for sid, (_, q) in spaces.items()}
    used = _neighbours(quads)
    rows, seen, number = [], set(), 0
    for sid in sorted(quads):
        if sid in seen or len(used.get(sid, {})) > 1:
            continue
        order, dividers = _row_dividers(quads, used, sid)
        seen.update(order)
        ints = [tuple(int(round(v)) for v in (a[0], a[1], b[0], b[1])) for a, b in dividers]
        rows.append({"first": number, "dividers": ints, "ids": order})
        number += len(order)
    if len(seen) != len(quads):
        raise LabelError("labelled spaces form a closed ring, not rows")
    if len(rows) > MAX_REGIONS or number > MAX_SPACES:
        raise LabelError(f"{len(rows)} rows of {number} spaces: the service takes at most "
                         f"{MAX_REGIONS} rows and {MAX_SPACES} spaces")
    report = []
    for row in rows:
        for sid, quad in configured_quads(row):
            v = iou(quad, quads[sid])
            if v < MIN_IOU:
                report.append((sid, v))
    return rows, sorted(report)


def configured_quads(row):
    """(label id, quad K1 K2 K3 K4 in grid coordinates) of each space of a row."""
    d = row["dividers"]
    for k, sid in enumerate(row["ids"]):
        ax, ay, bx, by = d[k]
        cx, cy, ex, ey = d[k + 1]
        yield sid, [(ax, ay), (cx, cy), (ex, ey), (bx, by)]


def write_sql(rows, out, detect_sens=5, occupancy_sens=5):
    out.write("-- parking rows fitted to PKLot labels: load with sqlite3 /mnt/nand/qzdb.db < FILE\n"
              "BEGIN;\nDELETE FROM parking;\n"
              f"INSERT INTO parking (enable, detect_sens, occupancy_sens) VALUES (1, {detect_sens}, {occupancy_sens});\n"
              "DELETE FROM parking_region;\nDELETE FROM parking_divider;\n")
    for r, row in enumerate(rows):
        out.write(f"INSERT INTO parking_region (region, first_number, direction) VALUES ({r}, {row['first']}, 0);\n")
        for k, (ax, ay, bx, by) in enumerate(row["dividers"]):
            out.write("INSERT INTO parking_divider (region, k, ax, ay, bx, by) "
                      f"VALUES ({r}, {k}, {ax}, {ay}, {bx}, {by});\n")
    out.write("COMMIT;\n")


def space_map(rows):
    """{(region, number): label id} of the configured spaces."""
    return {(r, row["first"] + k): sid for r, row in enumerate(rows) for k, sid in enumerate(row["ids"])}
