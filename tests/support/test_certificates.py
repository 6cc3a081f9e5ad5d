"""Certificates for the TLS tests, made fresh by each test run.

  test_certificates.py DIR   writes into DIR:
    ca.pem         a test certificate authority (certificate only)
    trusted.pem    a server certificate for 127.0.0.1 and localhost signed by it, the
                   authority's certificate (the chain a server sends) and the server's key
    misnamed.pem   a server certificate signed by it for another name (other.example),
                   with the chain and key
    self_a.pem     a self-signed server certificate with its key
    self_b.pem     another self-signed one (a server whose certificate changed)
    NAME.sha256    for each server certificate, the SHA-256 of its DER form in hex
    NAME.key.sha256  the SHA-256 of its public key (DER SubjectPublicKeyInfo) in hex

Elliptic-curve keys keep this fast. Nothing here is trusted outside the tests.
"""
import datetime
import hashlib
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def _certificate(subject, key, issuer, issuer_key, is_ca, names=("localhost", "127.0.0.1")):
    now = datetime.datetime.utcnow()
    builder = (x509.CertificateBuilder()
               .subject_name(_name(subject)).issuer_name(_name(issuer))
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1))
               .not_valid_after(now + datetime.timedelta(days=30))
               .add_extension(x509.BasicConstraints(ca=is_ca, path_length=None), critical=True))
    if not is_ca:
        builder = builder.add_extension(x509.SubjectAlternativeName(
            [x509.IPAddress(ipaddress.ip_address(n)) if n[0].isdigit() else x509.DNSName(n) for n in names]),
            critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def _pem(certificate, key=None, chain=()):
    text = b"".join(c.public_bytes(serialization.Encoding.PEM) for c in (certificate, *chain))
    if key is not None:
        text += key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption())
    return text


def make(directory):
    os.makedirs(directory, exist_ok=True)
    ca_key = ec.generate_private_key(ec.SECP256R1())
    ca = _certificate("Quillet Test CA", ca_key, "Quillet Test CA", ca_key, True)
    files = {"ca.pem": _pem(ca)}
    server_key = ec.generate_private_key(ec.SECP256R1())
    servers = {"trusted": (_certificate("127.0.0.1", server_key, "Quillet Test CA", ca_key, False), server_key, [ca])}
    other_key = ec.generate_private_key(ec.SECP256R1())
    servers["misnamed"] = (_certificate("other.example", other_key, "Quillet Test CA", ca_key, False,
                                        ("other.example",)), other_key, [ca])
    for name in ("self_a", "self_b"):
        key = ec.generate_private_key(ec.SECP256R1())
        servers[name] = (_certificate("127.0.0.1", key, "127.0.0.1", key, False), key, [])
    for name, (certificate, key, chain) in servers.items():
        files[name + ".pem"] = _pem(certificate, key, chain)
        files[name + ".sha256"] = certificate.fingerprint(hashes.SHA256()).hex().encode()
        public_key = key.public_key().public_bytes(serialization.Encoding.DER,
                                                   serialization.PublicFormat.SubjectPublicKeyInfo)
        files[name + ".key.sha256"] = hashlib.sha256(public_key).hexdigest().encode()
    for name, text in files.items():
        with open(os.path.join(directory, name), "wb") as out:
            out.write(text)


if __name__ == "__main__":
    make(sys.argv[1])
