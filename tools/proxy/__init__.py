"""The LDAP proxy's parts beside its entry, tools/ldap-proxy.py."""
