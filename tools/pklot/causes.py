"""Why a space was reported wrong, from what the evaluation can see: the labelled
space, the configured space, and the detector's boxes of the frame (all in the
320 x 240 configuration grid).

The cause decides what a site changes: the detector (`missed`), nothing (`elsewhere`:
the one-to-one assignment gave the car to a neighbouring space, or dropped it), the
drawn spaces (`fit`), or the detector's false alarms (`false`).
"""
import pklot

CAUSES = ("missed", "elsewhere", "fit", "false")
# A box stands on a space when it covers at least this share of the space's area.
MIN_COVER = 0.3


def covered_share(box, quad):
    """Share of quad's area that the box (left, top, right, bottom) covers."""
    left, top, right, bottom = box
    whole = abs(pklot.area(quad))
    if whole == 0 or right <= left or bottom <= top:
        return 0.0
    rect = [(left, top), (right, top), (right, bottom), (left, bottom)]
    return pklot.intersection_area(quad, rect) / whole


def cause(label_occupied, label_quad, configured_quad, boxes):
    """The cause of one wrong space, in this order of precedence:
    missed     labelled occupied, and no box covers MIN_COVER of the labelled space;
    elsewhere  labelled occupied and a box covers it, yet the space was reported free:
               the assignment gave that box to another space or to none;
    fit        the configured space overlaps its label by less than pklot.MIN_IOU;
    false      labelled free, reported occupied."""
    if label_occupied:
        if not any(covered_share(b, label_quad) >= MIN_COVER for b in boxes):
            return "missed"
        return "elsewhere"
    if pklot.iou(configured_quad, label_quad) < pklot.MIN_IOU:
        return "fit"
    return "false"
