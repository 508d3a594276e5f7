"""The traffic light example, compiled by qvc and played at full speed one cycle at a time:
a pedestrian's request waits for the cars' 5 s minimum green, then amber, red on both
sides, the pedestrians' green with its last second announced, and the cars again.
Without a request the cars keep their green. 20 cycles make a second."""

import pathlib

SOURCE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "iec" / "traffic_light.st"
SECOND = 20  # cycles of 50 ms


def test_a_pedestrian_crosses_after_the_cars_minimum_green(qv_program, qvc_build):
    light = qv_program(qvc_build(SOURCE), speed="max", stepped=True)
    light.run()
    start = light.wait_until("TrafficLight.CarGreen", cycles=2)
    assert light["TrafficLight.WalkRed"] and not light["TrafficLight.WalkGreen"]

    light["TrafficLight.Button"] = True
    light.wait_until("TrafficLight.Waiting", cycles=2)
    light["TrafficLight.Button"] = False
    amber = light.wait_until("TrafficLight.CarAmber", cycles=6 * SECOND)
    assert 5 * SECOND <= amber - start <= 5 * SECOND + 2
    assert not light["TrafficLight.CarGreen"]

    walk = light.wait_until("TrafficLight.WalkGreen", cycles=4 * SECOND)
    # A step lasts its time and the cycle in which it was entered: 2 s amber, 1 s red.
    assert walk - amber == 3 * SECOND + 2
    assert light["TrafficLight.CarRed"] and not light["TrafficLight.Waiting"]
    ending = light.wait_until("TrafficLight.WalkEnding", cycles=4 * SECOND)
    assert ending - walk == 3 * SECOND
    again = light.wait_until("TrafficLight.CarGreen", cycles=7 * SECOND)
    assert again - walk == 6 * SECOND + 2  # 4 s green for the pedestrians, 2 s red on both sides
    assert not light["TrafficLight.WalkEnding"] and light["TrafficLight.WalkRed"]

    # No request: the cars keep their green.
    light.wait_cycles(10 * SECOND)
    assert light["TrafficLight.CarGreen"] and light["TrafficLight.CarsGo.X"]
