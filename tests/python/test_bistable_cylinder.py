"""The bistable cylinder with its plant: one stroke out and back, then the rod jams on
its way out. The travel fault latches after exactly 10 s of simulated time, the orders
drop, and the operator's acknowledgement puts the cylinder back in service once the rod
is back where a sensor sees it.

At speed "max" the plant is stepped with the program, so every wait below is exact to
the cycle and the test takes the same cycles at any speed."""

PERIOD_S = 0.05
TRAVEL_CYCLES = round(1.0 / PERIOD_S)          # the plant's travel time, 1 s
TRAVEL_FAULT_CYCLES = round(10.0 / PERIOD_S)   # TTL, the longest movement allowed


def test_travel_fault_latches_after_ten_seconds_and_is_acknowledged(qv_program):
    cylinder = qv_program("bistable_cylinder", speed="max", plant=True)
    rod = cylinder.plant.cylinder("cylinder")
    cylinder.run()
    cylinder.wait_until(lambda c: c["EtatR"], cycles=5)

    # One stroke out and back in, each taking the plant's travel time.
    cylinder["DS"] = True
    out = cylinder.wait_until(lambda c: c["EtatS"], cycles=TRAVEL_CYCLES + 5)
    cylinder["DS"] = False
    cylinder["DR"] = True
    back = cylinder.wait_until(lambda c: c["EtatR"], cycles=TRAVEL_CYCLES + 5)
    cylinder["DR"] = False
    assert TRAVEL_CYCLES <= back - out <= TRAVEL_CYCLES + 3

    # The rod jams just after leaving its retracted end: CR releases, CS never comes.
    rod.travel = 1e9
    cylinder["DS"] = True
    extending = cylinder.wait_until(lambda c: c["OrdreS"], cycles=3)
    faulted = cylinder.wait_until(lambda c: c["Def_verin"], cycles=TRAVEL_FAULT_CYCLES + 10)
    # 10 s of simulated time, to the cycle (the timer counts from the cycle that set the order).
    assert abs((faulted - extending) - TRAVEL_FAULT_CYCLES) <= 1
    assert cylinder["defaut[5]"], "the travel timer's fault, not a sensor fault"
    cylinder.wait_until(lambda c: not c["OrdreS"] and not c["EtatS"] and not c["EtatR"], cycles=2)

    # The fault holds, request withdrawn or not, until acknowledged.
    cylinder["DS"] = False
    cylinder.wait_cycles(20)
    assert cylinder["Def_verin"] and not cylinder["OrdreR"]

    # The operator frees the rod and pushes it back by hand, then holds the
    # acknowledgement until the supervision has taken the position again.
    rod.travel, rod.position = 1.0, 0.0
    cylinder.plant.write_sensors()
    cylinder["ACQ"] = True
    cylinder.wait_until(lambda c: not c["Def_verin"] and c["EtatR"], cycles=5)
    cylinder["ACQ"] = False
    assert not cylinder["defaut[5]"]

    # In service again.
    cylinder["DS"] = True
    cylinder.wait_until(lambda c: c["EtatS"], cycles=TRAVEL_CYCLES + 5)
    assert not cylinder["Def_verin"]
