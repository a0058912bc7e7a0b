#!/usr/bin/env python3
"""Writes the seed inputs in corpus/<target>/ from first principles (the
CRC-8/MAXIM and CRC-16/MODBUS definitions, Intel HEX by hand) and from the
built-in image 12. Run from anywhere; the files are kept in the repository."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGE12 = os.path.join(HERE, "..", "images", "firmware", "image12.txt")


def crc8(data):
    crc = 0
    for b in data:
        for _ in range(8):
            mix = (crc ^ b) & 1
            crc >>= 1
            if mix:
                crc ^= 0x8C
            b >>= 1
    return crc


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(status, b1, cls, ver, b6=0):
    body = bytes([status, b1, cls >> 8, cls & 0xFF, ver >> 8, ver & 0xFF, b6])
    return body + bytes([crc8(body)])


def record(address, rtype, data):
    b = bytes([len(data), address >> 8, address & 0xFF, rtype]) + bytes(data)
    return (":" + (b + bytes([(256 - sum(b)) % 256])).hex().upper()).encode()


def update_id_block():
    words = [0x6601, 0x00AB, 24, 53, 0xFFFF]
    data = b"".join(bytes([w & 0xFF, w >> 8]) for w in words)
    c = crc16(data)
    return data + bytes([c & 0xFF, c >> 8]) + b"\xFF" * 52


def full(reply):
    return b"\x00" + reply  # control byte: a full read


def write(target, name, content):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(content)


def image_lines():
    with open(IMAGE12, "rb") as f:
        return f.read().splitlines()


def engine_corpus():
    bl3 = full(frame(0x01, 0, 0xC802, 0x0000))
    app = full(frame(0x01, 0, 0x6601, 0x061A))
    serial = full(frame(0x01, 0x6C, 0x0101, 0x0500))  # bytes 1-4: serial number 65900
    info = full(record(0, 0, [0x00, 24, 0x00, 53, 0x01, 0x02]))
    upid = full(record(0x0040, 0, update_id_block()))
    start = full(record(0, 0, [0x31]))
    data_lines = sum(1 for l in image_lines() if l.startswith(b":40"))
    echoes = b"\xFE" * data_lines
    write("engine_replies", "bootloader_full_update", b"\x00" + bl3 + info + upid + start + echoes + app)
    write("engine_replies", "application_read_info_only", b"\x08" + app + serial + bl3 + info + upid)
    write("engine_replies", "echo_differs", b"\x00" + bl3 + info + upid + start + b"\xFE" * 3 +
          full(record(0x0000, 0, [0] * 64)))
    write("engine_replies", "exception_bit", b"\x00" + full(frame(0x21, 0, 0x6601, 0x061A)))
    write("engine_replies", "short_replies", b"\x00" + b"\xC7" + frame(0x01, 0, 0xC802, 0)[:7] * 5)
    write("engine_replies", "read_fails", b"\x00\xFF")
    write("engine_replies", "silent_logger", b"\x00")


def record_corpus():
    lines = image_lines()
    write("record_codec", "info_request", b":0100000520DA")
    write("record_codec", "data_line", lines[8])
    write("record_codec", "vector_table_line", next(l for l in lines if l.startswith(b":4003DF00")))
    write("record_codec", "end_line", b":00000001FF")
    write("record_codec", "extended_address", b":020000040800F2")
    write("record_codec", "lower_case", lines[8].lower())


def image_corpus():
    lines = image_lines()
    write("image_file", "image12_head", b"\n".join(lines[:20] + [b":00000001FF"]) + b"\n")
    write("image_file", "image12_head_crlf", b"\r\n".join(lines[:12] + [b":00000001FF"]))
    write("image_file", "header_only_with_bom", b"\xEF\xBB\xBF" + b"\n".join(lines[:8]))
    write("image_file", "bad_number", b"\n".join(lines[:2] + [b"class=66x01"] + lines[3:10]))


if __name__ == "__main__":
    engine_corpus()
    record_corpus()
    image_corpus()
