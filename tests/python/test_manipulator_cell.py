"""The manipulator cell with its plant: three cylinders place the gripper at one of
eight positions, a spring-return cylinder lowers it, a vacuum holds the part. A whole
cycle takes a part from position 5 to position 3; an emergency stop during the pick
leaves the part held, raises the gripper and latches the cell's fault until it is
acknowledged."""

import pytest

import qv

PERIOD_S = 0.05
TRAVEL_CYCLES = round(1.0 / PERIOD_S)
START, ARRIVAL = 5, 3


@pytest.fixture
def cell(qv_program):
    cell = qv_program("manipulateur", speed="max", plant=True)
    cell.run()
    cell.wait_until(lambda c: c["OKcycle"], cycles=5)
    cell["Pos_depart"] = START
    cell["Pos_arrivee"] = ARRIVAL
    cell["DCY"] = True
    cell.wait_until(lambda c: not c["OKcycle"], cycles=3)
    cell["DCY"] = False
    return cell


def picking(c):
    return c["FCVZB"] and c["vacuostat"]


def test_whole_cycle_moves_the_part_from_start_to_arrival(cell):
    plant = cell.plant
    cell.wait_until(lambda c: c["EVVZ"], cycles=2 * TRAVEL_CYCLES)
    assert plant.position_code() == START
    cell.wait_until(picking, cycles=TRAVEL_CYCLES + 5)
    picked_at = plant.position_code()

    # Raised with the part, then carried: the placing cylinders move with the vacuum held.
    cell.wait_until(lambda c: c["EVGXR"] or c["EVGXS"] or c["EVPXR"] or c["EVPXS"] or c["EVVRR"] or c["EVVRS"],
                    cycles=2 * TRAVEL_CYCLES)
    assert cell["vacuostat"] and cell["FCVZH"]
    cell.wait_until(lambda c: c["EVVZ"], cycles=2 * TRAVEL_CYCLES)
    assert plant.position_code() == ARRIVAL

    cell.wait_until(lambda c: c["EVVTA"], cycles=TRAVEL_CYCLES + 5)
    cell.wait_until(lambda c: not c["vacuostat"], cycles=20)
    placed_at = plant.position_code()
    done = cell.wait_until(lambda c: c["OKcycle"], cycles=2 * TRAVEL_CYCLES)

    assert (picked_at, placed_at) == (START, ARRIVAL)
    assert not cell["Def_Manip"]
    assert cell["FCVZH"], "the gripper is up at the end of the cycle"
    assert done < 10 * TRAVEL_CYCLES


def test_emergency_stop_during_the_pick_keeps_the_part_held(cell):
    cell.wait_until(picking, cycles=4 * TRAVEL_CYCLES)
    cell["au"] = True
    cell.wait_until(lambda c: c["Def_Manip"], cycles=2)

    # The gripper rises by its spring; the vacuum is never cut, nothing else moves.
    cell.wait_until(lambda c: c["FCVZH"], cycles=TRAVEL_CYCLES + 5)
    released = lambda c: c["EVVTA"] or not c["vacuostat"]  # noqa: E731
    moved = lambda c: any(c[o] for o in ("EVGXR", "EVGXS", "EVPXR", "EVPXS", "EVVRR", "EVVRS", "EVVZ"))  # noqa: E731
    for _ in range(2 * TRAVEL_CYCLES):
        cell.wait_cycles(1)
        assert not released(cell), f"the part was let go at cycle {cell.cycle}"
        assert not moved(cell), f"an order was given during the emergency stop at cycle {cell.cycle}"
    assert cell["Def_Manip"] and cell.plant.position_code() == START

    # Released and acknowledged: the fault clears and the cell goes back to rest.
    cell["au"] = False
    cell["acq"] = True
    cell.wait_until(lambda c: not c["Def_Manip"], cycles=5)
    cell["acq"] = False
    cell.wait_until(lambda c: c["OKcycle"], cycles=20)


def test_steps_named_as_breakpoints_pause_the_cell(qv_program):
    cell = qv_program("manipulateur", speed="max", plant=True)
    cell.add_breakpoint("Verin_VZ", 11)
    cell.add_breakpoint("Verin_VZ._X_21")
    assert cell.breakpoints()["location"] == [(11, 10), (21, 10)]
    for name, number in (("_X_21", None), ("Verin_VZ._X_99", None), ("Verin_VZ", 99), ("Nobody", 11)):
        with pytest.raises(qv.RefusedWrite):
            cell.add_breakpoint(name, number)
    assert cell.step(10) == "PAUSE"
    assert cell.paused_at in ((11, 10), (21, 10))


def test_a_scenario_waits_for_a_step_breakpoint_and_resumes(qv_program):
    cell = qv_program("manipulateur", speed="max", plant=True)
    cell.add_breakpoint("graf_mdl_manipulateur1._X_12")  # the pick begins
    cell.add_breakpoint("graf_mdl_manipulateur1._X_14")  # the placing begins
    cell.run()
    cell.wait_until(lambda c: c["OKcycle"], cycles=5)
    cell["Pos_depart"] = START
    cell["Pos_arrivee"] = ARRIVAL
    cell["DCY"] = True
    assert cell.wait_for_pause(cycles=4 * TRAVEL_CYCLES) == "graf_mdl_manipulateur1._X_12"
    assert cell.plant.position_code() == START
    cell["DCY"] = False

    # Left to the end of its cycle: no stop at the later steps of the same cycle.
    first = cell.cycle
    assert cell.resume() == "STOP"
    assert cell.status == "STOP" and cell.cycle == first + 1

    # The plain wait sees the pause too; then the cell runs on to the end of its cycle.
    cell.wait_until(lambda c: c.status == "PAUSE", cycles=6 * TRAVEL_CYCLES)
    assert cell.paused_where == "graf_mdl_manipulateur1._X_14"
    assert cell.plant.position_code() == ARRIVAL
    cell.remove_breakpoint("graf_mdl_manipulateur1._X_12")
    cell.remove_breakpoint("graf_mdl_manipulateur1._X_14")
    assert cell.resume(run=True) == "RUN"
    cell.wait_until(lambda c: c["OKcycle"], cycles=4 * TRAVEL_CYCLES)
    assert not cell["Def_Manip"]
