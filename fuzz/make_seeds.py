#!/usr/bin/env python3
"""Writes the seed corpora of the fuzzers into the folder given as the first argument."""
import os
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
