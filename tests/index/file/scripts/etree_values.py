"""Reads index files with Python's own XML parser and lists every value.

Usage: etree_values.py OUTPUT INDEX...
Writes one line per property: file, ID, name, value as UTF-8 hex.
"""
import sys
import xml.etree.ElementTree as ET


def main():
    out_path, files = sys.argv[1], sys.argv[2:]
    with open(out_path, "w") as out:
        for path in files:
            root = ET.parse(path).getroot()
            out.write(f"{path}\troot\t{root.tag}\t{root.get('LASTUID')}\n")
            for element in root:
                item = element.get("ID")
                out.write(f"{path}\t{item}\tUID\t{element.get('UID')}\n")
                for prop in element:
                    out.write(f"{path}\t{item}\t{prop.tag}\t{(prop.text or '').encode('utf-8').hex()}\n")


if __name__ == "__main__":
    main()
