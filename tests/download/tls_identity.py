"""The test server's TLS identity, made fresh at each start: a root CA (written as DER for the
test to trust), a certificate it issues for 127.0.0.1 only (server authentication), and the
root's empty revocation list, whose URL the certificate carries so that a client checking
revocation finds an answer instead of failing as offline."""
import datetime
import ipaddress
import os
import ssl

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def make(directory, port):
    """Writes DIRECTORY/root.der and the server's PEM files; returns (server SSLContext, DER CRL)."""
    now = datetime.datetime.utcnow()
    root_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    root_name = _name("Download test root")
    root = (x509.CertificateBuilder()
            .subject_name(root_name).issuer_name(root_name)
            .public_key(root_key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(hours=1))
            .not_valid_after(now + datetime.timedelta(days=2))
            .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
            .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False,
                                         False), critical=True)
            .add_extension(x509.SubjectKeyIdentifier.from_public_key(root_key.public_key()),
                           critical=False)
            .sign(root_key, hashes.SHA256()))

    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    crl_url = "http://127.0.0.1:%d/crl" % port
    leaf = (x509.CertificateBuilder()
            .subject_name(_name("127.0.0.1")).issuer_name(root_name)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(hours=1))
            .not_valid_after(now + datetime.timedelta(days=2))
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            # The address as an IP entry and as a DNS entry too: Wine's SSL policy compares
            # the host only with DNS entries.
            .add_extension(x509.SubjectAlternativeName(
                [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("127.0.0.1")]),
                critical=False)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                           critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
                root_key.public_key()), critical=False)
            .add_extension(x509.CRLDistributionPoints([x509.DistributionPoint(
                full_name=[x509.UniformResourceIdentifier(crl_url)], relative_name=None,
                reasons=None, crl_issuer=None)]), critical=False)
            .sign(root_key, hashes.SHA256()))

    crl = (x509.CertificateRevocationListBuilder()
           .issuer_name(root_name)
           .last_update(now - datetime.timedelta(hours=1))
           .next_update(now + datetime.timedelta(days=1))
           .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
               root_key.public_key()), critical=False)
           .add_extension(x509.CRLNumber(1), critical=False)
           .sign(root_key, hashes.SHA256()))

    os.makedirs(directory, exist_ok=True)
    certificate_file = os.path.join(directory, "server.pem")
    key_file = os.path.join(directory, "server.key")
    with open(certificate_file, "wb") as f:
        f.write(leaf.public_bytes(serialization.Encoding.PEM))
    with open(key_file, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM,
                                  serialization.PrivateFormat.TraditionalOpenSSL,
                                  serialization.NoEncryption()))
    # Written last, through a temporary name: the test reads it once the port file appears.
    with open(os.path.join(directory, "root.der.tmp"), "wb") as f:
        f.write(root.public_bytes(serialization.Encoding.DER))
    os.replace(os.path.join(directory, "root.der.tmp"), os.path.join(directory, "root.der"))

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate_file, key_file)
    return context, crl.public_bytes(serialization.Encoding.DER)
