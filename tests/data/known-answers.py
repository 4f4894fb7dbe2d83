#!/usr/bin/env python3
import hashlib


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) % 256
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = bytearray()
    for b in data:
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) % 256])
    return bytes(out)


def block(password, key):
    password = password[:14]
    body = rc4(key, password) if key else password
    b = bytes([len(password)]) + body + bytes(14 - len(password))
    return b + bytes([sum(b) % 256])


md5 = hashlib.md5(b"MOZKAR").digest()
sha1 = hashlib.sha1(b"MOZKAR").digest()
for pw in [b"A", b"secret", b"PLC-Pass_14chr", b"PLC-Pass_14chrX"]:
    print(pw.decode(), block(pw, md5[:5] + bytes(11)).hex(), block(pw, sha1[:16]).hex(),
          block(pw, None).hex())

current = b"ZXCVBNMASDFGHJK20991130"
older = b"HBVNMQWERTPLKJZ20991231"
print("sha-512 key", hashlib.sha512(current).digest()[:16].hex())
h = hashlib.sha1(current).digest() + bytes(44)
inner = hashlib.sha1(bytes(0x36 ^ x for x in h)).digest()
outer = hashlib.sha1(bytes(0x5C ^ x for x in h)).digest()
print("sha-1 aes key", (inner + outer)[:16].hex())
print("rc4 key", hashlib.sha1(older).digest()[:16].hex())
