"""The pick-and-place unit with its plant (a vertical axis and a vacuum): asked to pick,
it lowers with the vacuum on, waits for the vacuum, raises the part and reports it held;
asked to place, it lowers, cuts the vacuum, waits for it to fall and raises empty."""

PERIOD_S = 0.05
TRAVEL_CYCLES = round(1.0 / PERIOD_S)


def test_pick_then_place(qv_program):
    unit = qv_program("pick_place_unit", speed="max", plant=True)
    unit.run()
    unit.wait_until(lambda u: u["OKpose"] and u["CR_VZR"], cycles=5)

    unit["dprise"] = True
    unit.wait_until(lambda u: u["VZS"] and u["VTM"], cycles=3)
    unit.wait_until(lambda u: u["CR_VZS"] and u["vacuostat"], cycles=TRAVEL_CYCLES + 5)
    unit.wait_until(lambda u: u["VZR"] and not u["VZS"], cycles=3)
    held = unit.wait_until(lambda u: u["OKprise"], cycles=TRAVEL_CYCLES + 5)
    assert unit["vacuostat"] and unit["CR_VZR"] and not unit["OKpose"]

    unit["dprise"] = False
    unit["dpose"] = True
    unit.wait_until(lambda u: u["VZS"] and not u["OKprise"], cycles=3)
    unit.wait_until(lambda u: u["VTA"], cycles=TRAVEL_CYCLES + 5)
    unit.wait_until(lambda u: not u["vacuostat"], cycles=20)
    placed = unit.wait_until(lambda u: u["OKpose"], cycles=TRAVEL_CYCLES + 10)
    unit["dpose"] = False

    # Down and up twice, the vacuum's fall between: the whole cycle in simulated time.
    assert 2 * TRAVEL_CYCLES <= placed - held <= 2 * TRAVEL_CYCLES + 15
    assert not unit["def_prisepose"]
    assert unit.plant.cylinder("VZ").retracted
