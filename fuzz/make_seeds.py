#!/usr/bin/env python3
"""Writes the seed corpus of every fuzzer into OUT/<fuzzer name>/.

Each fuzzer's seeds come from fuzz/seeds_<fuzzer name>.py, which defines seeds() returning a list
of byte strings."""
import importlib.util
import os
import pathlib
import sys

out = pathlib.Path(sys.argv[1])
here = pathlib.Path(__file__).parent
for module_path in sorted(here.glob("seeds_*.py")):
    name = module_path.stem[len("seeds_"):]
    spec = importlib.util.spec_from_file_location(module_path.stem, module_path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    target = out / name
    target.mkdir(parents=True, exist_ok=True)
    for i, data in enumerate(module.seeds()):
        (target / f"seed_{i:03d}").write_bytes(data)
