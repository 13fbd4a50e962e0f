"""Seeds for fuzz_project_reader: a good project with relative, absolute and empty paths, and
near misses of each kind the reader refuses."""
import json


def project(**change):
    p = {
        "format": "lcdprog-project",
        "version": 1,
        "pictures": {
            "64128A": ["pics/logo.bmp", "", "", ""],
            "64128E": ["/srv/pictures/a.bmp", "", "../up.bmp", ""],
            "64240B": ["", "", "", "wide.bmp"],
            "128240A": ["", "x/../tall.bmp", "", ""],
        },
        "glyphs": {
            "5x8": ["#...#", ".#.#.", "..#..", ".#.#.", "#...#", ".....", "#####", "....."],
            "10x16": ["#........#"] * 16,
        },
    }
    p.update(change)
    return json.dumps(p, indent=4).encode()


def seeds():
    good = project()
    return [
        good,
        good[: len(good) // 2],
        project(version=2),
        project(version=1.5),
        project(format="other"),
        project(pictures={"64128A": [1, "", "", ""]}),
        project(glyphs={"5x8": ["#"] * 8, "10x16": []}),
        b"[]",
        b"",
        "{\"format\": \"lcdprog-project\", \"\u00e8\": \"\\u0000\"}".encode(),
    ]
