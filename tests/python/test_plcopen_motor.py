"""The mixing tank of examples/plcopen/motor.xml, a PLCopen project compiled by qvc and
played at full speed one cycle at a time: a graphical chart chooses the slow fill for a
heavy batch and the quick one otherwise, then mixes and heats at once, waits for both,
drains with the horn sounding for its first second and jumps back to Idle; the motor
starter drawn in FBD runs while the chart mixes and reaches its speed 2 s after it
starts. 20 cycles make a second."""

import pathlib

SOURCE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "plcopen" / "motor.xml"
SECOND = 20  # cycles of 50 ms


def test_two_batches_go_through_their_branches_and_jump_back(qv_program, qvc_build):
    tank = qv_program(qvc_build(SOURCE), speed="max", stepped=True)
    tank.run()
    tank.wait_cycles(1)
    assert tank["Mixer.Seq.Idle.X"] and not tank["Mixer.Fill"]

    # A heavy batch: the first branch of the selection, the slow fill (3 s).
    tank["Mixer.Heavy"] = True
    tank["Mixer.Start"] = True
    filling = tank.wait_until("Mixer.Fill", cycles=2)
    tank["Mixer.Start"] = False
    assert tank["Mixer.Seq.SlowFill.X"] and not tank["Mixer.Seq.QuickFill.X"]
    full = tank.wait_until("Mixer.Seq.Full.X", cycles=4 * SECOND)
    assert full - filling == 3 * SECOND + 1  # a step lasts its time and the cycle it was entered in
    assert not tank["Mixer.Fill"]

    # Half a second later both branches start in the same cycle.
    mixing = tank.wait_until("Mixer.Motor", cycles=SECOND)
    assert mixing - full == SECOND // 2 + 1
    assert tank["Mixer.Heater"] and tank["Mixer.Seq.Mix.X"] and tank["Mixer.Seq.Heat.X"]
    assert not tank["Mixer.AtSpeed"]
    at_speed = tank.wait_until("Mixer.AtSpeed", cycles=3 * SECOND)
    assert 2 * SECOND - 1 <= at_speed - mixing <= 2 * SECOND + 1

    # Mixed after 4 s; the tank is not hot yet: the convergence waits for the heater.
    mixed = tank.wait_until(lambda t: not t["Mixer.Motor"], cycles=5 * SECOND)
    assert mixed - mixing == 4 * SECOND + 1
    assert tank["Mixer.Seq.MixDone.X"] and tank["Mixer.Heater"]
    tank.wait_cycles(SECOND)
    assert not tank["Mixer.Drain"] and tank["Mixer.Seq.Heat.X"]
    assert not tank["Mixer.AtSpeed"]  # the starter stopped with the mixing

    # Hot: both branches done, the tank drains; the horn sounds for 1 s, the batch counts.
    tank["Mixer.Hot"] = True
    draining = tank.wait_until("Mixer.Drain", cycles=3)
    assert not tank["Mixer.Heater"] and tank["Mixer.Horn"] and tank["Mixer.Batches"] == 1
    silent = tank.wait_until(lambda t: not t["Mixer.Horn"], cycles=2 * SECOND)
    assert silent - draining == SECOND
    idle = tank.wait_until("Mixer.Seq.Idle.X", cycles=3 * SECOND)
    assert idle - draining == 2 * SECOND + 1
    assert not tank["Mixer.Drain"] and tank["Mixer.Batches"] == 1
    tank["Mixer.Hot"] = False

    # A light batch: the second branch, the quick fill (1 s); already hot, it drains after
    # the mixing alone.
    tank["Mixer.Heavy"] = False
    tank["Mixer.Start"] = True
    filling = tank.wait_until("Mixer.Fill", cycles=2)
    tank["Mixer.Start"] = False
    assert tank["Mixer.Seq.QuickFill.X"] and not tank["Mixer.Seq.SlowFill.X"]
    full = tank.wait_until("Mixer.Seq.Full.X", cycles=2 * SECOND)
    assert full - filling == SECOND + 1
    tank.wait_until("Mixer.Motor", cycles=SECOND)
    tank["Mixer.Hot"] = True
    tank.wait_until("Mixer.Drain", cycles=5 * SECOND)
    tank.wait_until("Mixer.Seq.Idle.X", cycles=3 * SECOND)
    assert tank["Mixer.Batches"] == 2
