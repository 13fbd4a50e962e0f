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
        project(version=2, imports=[{"picture": "immagini/logo_128x64.bmp",
                                     "source": "../foto.jpg", "scale": "fill", "rotate": 90,
                                     "mirror": True, "dither": "bayer", "threshold": 100,
                                     "brightness": -5, "contrast": 10, "invert": False}],
                reversedPalettesKept=["neg.bmp"]),
        project(version=2, imports=[{"picture": "a.bmp", "source": "a.png", "rotate": 45}]),
        project(version=3),
        project(version=1.5),
        project(format="other"),
        project(pictures={"64128A": [1, "", "", ""]}),
        project(glyphs={"5x8": ["#"] * 8, "10x16": []}),
        b"[]",
        b"",
        "{\"format\": \"lcdprog-project\", \"\u00e8\": \"\\u0000\"}".encode(),
    ]
