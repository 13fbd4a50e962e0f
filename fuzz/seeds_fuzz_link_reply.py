"""Seeds for fuzz_link_reply.

Byte 0 picks the operation (mod 3: detection, EEPROM run, reset; for the run, byte 0 / 3 mod 6 + 1
is the number of blocks before Stop), bytes 1..4 the clock's start (little-endian), then one reply
script per packet written: a chunk count, and per chunk a header (bit 7: press Stop; low 6 bits:
length), a delay in 16 ms steps and the bytes."""

DETECTION_REPLY = bytes([0x87, 0x04, 0x41, 0x42, 0x43, 0x44, 0x6A])
WRITE_ACK = bytes([0x04, 0x00, 0xFB])
RESET_ACK = bytes([0xFE, 0x00, 0x01])


def chunk(data, delay_steps=0, stop=False):
    return bytes([len(data) | (0x80 if stop else 0), delay_steps]) + data


def reply(*chunks):
    return bytes([len(chunks)]) + b"".join(chunks)


def head(op, blocks=1, clock=0):
    return bytes([op + 3 * (blocks - 1)]) + clock.to_bytes(4, "little")


SILENT = reply()


def seeds():
    out = []
    # Detection: at once, split, after a silent attempt, wrong checksum, short, with extra bytes,
    # across the clock's wrap.
    out.append(head(0) + reply(chunk(DETECTION_REPLY, 1)))
    out.append(head(0) + reply(chunk(DETECTION_REPLY[:3], 1), chunk(DETECTION_REPLY[3:], 2)))
    out.append(head(0) + SILENT + reply(chunk(DETECTION_REPLY, 10)))
    out.append(head(0) + reply(chunk(DETECTION_REPLY[:6] + b"\x6b", 1)) * 3)
    out.append(head(0) + reply(chunk(DETECTION_REPLY[:6], 1)) * 3)
    out.append(head(0) + reply(chunk(DETECTION_REPLY + b"\x00\x11\x22", 1)))
    out.append(head(0, clock=0xFFFFF000) + SILENT + reply(chunk(DETECTION_REPLY, 150)))
    # EEPROM run: acknowledged blocks, a retry, a wrong command, a stop with a reply, a late ack.
    out.append(head(1, blocks=4) + reply(chunk(WRITE_ACK, 0)) * 5)
    out.append(head(1, blocks=3) + reply(chunk(WRITE_ACK, 0)) + SILENT + reply(chunk(WRITE_ACK, 1)) * 3)
    out.append(head(1, blocks=2) + reply(chunk(bytes([0x05, 0x00, 0xFA]), 1)) * 3)
    out.append(head(1, blocks=6) + reply(chunk(WRITE_ACK, 0)) * 2 + reply(chunk(WRITE_ACK, 3, stop=True)))
    out.append(head(1, blocks=2) + reply(chunk(WRITE_ACK[:1], 1), chunk(WRITE_ACK[1:], 190)) * 4)
    out.append(head(1, blocks=5, clock=0xFFFFFF00) + reply(chunk(WRITE_ACK, 100)) * 6)
    # Reset: both valid acks, an EEPROM ack (invalid here), garbage.
    out.append(head(2) + reply(chunk(RESET_ACK, 1)))
    out.append(head(2) + reply(chunk(bytes([0xFE, 0x10, 0xF1]), 1)))
    out.append(head(2) + reply(chunk(WRITE_ACK, 1)) * 3)
    out.append(head(2) + reply(chunk(bytes(range(0x20, 0x5F)), 0), chunk(bytes(63), 0)) * 3)
    # A flood past 255 bytes, then nothing.
    out.append(head(0) + reply(chunk(bytes(63), 0), chunk(bytes(63), 0), chunk(bytes(63), 0)) * 2)
    out.append(b"")
    return out
