#!/usr/bin/python3
"""An HL7 receiver for the tests: MLLP on 127.0.0.1:PORT, answering every
message with AA, with AE (and a text of its own) or not at all. Each message
is parsed with python3-hl7 and written to OUT as JSON: the patient (PID-3,
PID-5 unescaped), the order (ORC-3) and every OBX; "ready" on stdout once it
listens."""
import json
import socket
import sys

import hl7

port, mode, out = int(sys.argv[1]), sys.argv[2], sys.argv[3]
AE_TEXT = "Patient unknown | at this ward"


def field(seg, n, rep=1, comp=1):
    try:
        return str(seg.extract_field(field_num=n, repeat_num=rep, component_num=comp))
    except IndexError:  # the field has fewer components
        return ""



def summary(msg):
    pid = msg.segment("PID")
    obx = []
    for seg in msg.segments("OBX"):
        obx.append({
            "type": str(seg(2)), "code": field(seg, 3), "system": field(seg, 3, comp=3),
            "subId": str(seg(4)), "value": str(seg(5)) if str(seg(2)) != "ED" else field(seg, 5, comp=5),
            "units": field(seg, 6) if len(seg) > 6 else "",
            "range": str(seg(7)) if len(seg) > 7 else "", "flag": str(seg(8)) if len(seg) > 8 else ""})
    return {"charset": str(msg.segment("MSH")(18)), "patient": field(pid, 3),
            "family": field(pid, 5, comp=1), "given": field(pid, 5, comp=2),  # unescaped by python3-hl7
            "accession": str(msg.segment("ORC")(3)), "obx": obx}


server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", port))
server.listen(4)
print("ready", flush=True)
while True:
    conn, _ = server.accept()
    data = b""
    while b"\x1c\r" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            break
        data += chunk
    if b"\x1c\r" not in data:
        conn.close()  # a probe of the port, not a message
        continue
    text = data.strip(b"\x0b\x1c\r").decode("utf-8") + "\r"
    msg = hl7.parse(text)
    with open(out, "w") as f:
        json.dump(summary(msg), f)
    if mode == "silent":
        continue  # keep the connection open and say nothing
    ack = msg.create_ack(ack_code=mode)
    if mode != "AA":
        ack.segment("MSA").assign_field(msg.escape(AE_TEXT), 3)
    conn.sendall(b"\x0b" + str(ack).encode("utf-8") + b"\x1c\r")
    conn.close()
