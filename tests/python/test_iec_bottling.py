"""The bottle-filling example, a configuration of two tasks compiled by qvc, played at full
speed one cycle at a time: each bottle is filled and labelled at once, capped when both
are done; the sixth fills the crate, the station then takes no bottle, and the beacon of
the slow task blinks every 500 ms until the crate is taken. 50 cycles make a second."""

import pathlib

SOURCE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "iec" / "bottling.st"
SECOND = 50  # cycles of 20 ms, the divisor of the two tasks' intervals


def test_six_bottles_fill_a_crate_and_the_beacon_blinks(qv_program, qvc_build):
    plant = qv_program(qvc_build(SOURCE), speed="max", stepped=True)
    assert plant.period == 20000.0
    plant.run()
    for n in range(1, 7):
        plant.wait_until("Plant.Conveyor", cycles=SECOND)
        plant["Plant.BottleIn"] = True
        plant.wait_until(lambda p: p["Plant.Valve"] and p["Plant.Labeller"], cycles=2)
        plant["Plant.BottleIn"] = False
        assert not plant["Plant.Conveyor"]
        plant.wait_cycles(5)
        plant["Plant.Full"] = True
        filled = plant.wait_until(lambda p: not p["Plant.Valve"], cycles=2)
        plant["Plant.Full"] = False
        capped = plant.wait_until("Plant.Capper", cycles=SECOND)
        assert not plant["Plant.Labeller"] and capped > filled  # the cap waits for the label
        plant.wait_until(lambda p: p["Plant.Bottles"] == n, cycles=2)
    assert plant["Plant.CrateFull"]

    lit = plant.wait_until("Plant.Beacon", cycles=SECOND)
    dark = plant.wait_until(lambda p: not p["Plant.Beacon"], cycles=SECOND)
    assert dark - lit == SECOND // 2

    # A full crate stops the station; taken away, the next bottle is filled.
    plant.wait_until("Plant.Conveyor", cycles=SECOND)
    plant["Plant.BottleIn"] = True
    plant.wait_cycles(5)
    assert not plant["Plant.Valve"]
    plant["Plant.CrateTaken"] = True
    plant.wait_until("Plant.Valve", cycles=3)
    assert plant["Plant.Bottles"] == 0
    assert plant["Filling.Bottles"] == 0  # the one variable whose path ends so
