#!/usr/bin/python3
"""docs/openapi.yaml as the HTTP tests hold the service to it.

As a program: the description is valid OpenAPI 3.1, checked against the fields of every object
as the published 3.1.0 document lists them (tests/data/http/openapi-3.1.0-objects.json, taken
from its tables; Debian 12 has no OpenAPI 3.1 validator nor its meta-schema): each field known
and of its type, each REQUIRED one there, every Schema Object a valid JSON Schema 2020-12
(python3-jsonschema), every $ref found. Then the served copy, /api/v1/openapi.json, is checked
to be the same document.

As a module: Description.check_answer() validates an answer against the schema of its
operation and status, and Description.check_event() a webhook's body.

Usage: openapi_check.py OPENAPI_YAML"""

import json
import os
import re
import sys

import jsonschema
import yaml

OBJECTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "http",
                       "openapi-3.1.0-objects.json")


def as_tuples(value):
    """Lists as tuples, all the way down: a type is compared as a tuple."""
    return tuple(as_tuples(v) for v in value) if isinstance(value, list) else value


def published_objects(path=OBJECTS):
    """{anchor: {"fixed": {field: (type, required, applies to)}, "patterned": [(name, type)],
    "x": bool}}: "applies to" is the Security Scheme's column, the types a field is for."""
    with open(path, encoding="utf-8") as file:
        objects = json.load(file)["objects"]
    return {anchor: {"fixed": {k: as_tuples(v) for k, v in o["fixed"].items()},
                     "patterned": [as_tuples(p) for p in o["patterned"]], "x": o["x"]}
            for anchor, o in objects.items()}


def patterned_key(name, key):
    """Whether `key` fits a patterned field of the tables."""
    if name == "/{path}":
        return key.startswith("/")
    if name.startswith("[HTTP Status Code]"):
        return re.fullmatch(r"[1-5]([0-9]{2}|XX)", key) is not None
    return True  # {expression}, {name}: any key


class Checker:
    def __init__(self, document):
        self.objects, self.document, self.problems = published_objects(), document, []

    def value(self, where, kind, value):
        """Problems of `value` as the type `kind`: an empty list when it fits."""
        if kind[0] == "any":
            return []
        if kind[0] == "primitive":
            python = {"string": str, "boolean": bool, "integer": int, "number": (int, float)}
            fits = isinstance(value, python.get(kind[1], object))
            return [] if fits else [f"{where}: not a {kind[1]}"]
        if kind[0] == "array":
            if not isinstance(value, list):
                return [f"{where}: not a list"]
            return [p for i, v in enumerate(value) for p in self.value(f"{where}[{i}]", kind[1], v)]
        if kind[0] == "map":
            if not isinstance(value, dict):
                return [f"{where}: not a map"]
            return [p for k, v in value.items() for p in self.value(f"{where}.{k}", kind[1], v)]
        if kind[0] == "union":
            tried = []
            for option in kind[1]:
                if isinstance(value, dict) and "$ref" in value and option != ("object",
                                                                              "referenceObject"):
                    continue
                if not (problems := self.value(where, option, value)):
                    return []
                tried += problems
            return tried or [f"{where}: fits none of its types"]
        return self.object(where, kind[1], value)

    def object(self, where, anchor, value):
        if not isinstance(value, (dict, bool) if anchor == "schemaObject" else dict):
            return [f"{where}: not an object"]
        if anchor == "schemaObject":
            try:
                jsonschema.Draft202012Validator.check_schema(value)
            except jsonschema.SchemaError as error:
                return [f"{where}: {error.message}"]
            return []
        if anchor == "referenceObject" and "$ref" in value:
            self.resolve(where, value["$ref"])
        fields = self.objects[anchor]
        problems = [f"{where}: {field} is REQUIRED" for field, (_, required, applies) in
                    fields["fixed"].items() if required and field not in value and
                    (applies == "Any" or f'`{value.get("type")}`' in applies)]
        for key, item in value.items():
            if key in fields["fixed"]:
                problems += self.value(f"{where}.{key}", fields["fixed"][key][0], item)
            elif key.startswith("x-") and fields["x"]:
                continue
            elif (pattern := next((t for n, t in fields["patterned"] if patterned_key(n, key)),
                                  None)):
                problems += self.value(f"{where}.{key}", pattern, item)
            else:
                problems.append(f"{where}: {key} is no field of the {anchor}")
        return problems

    def resolve(self, where, reference):
        node = self.document
        for step in (reference or "").removeprefix("#/").split("/"):
            if not isinstance(node, dict) or step not in node:
                self.problems.append(f"{where}: $ref {reference} leads nowhere")
                return
            node = node[step]

    def check(self):
        problems = self.object("openapi", "oasObject", self.document)
        if not str(self.document.get("openapi", "")).startswith("3.1."):
            problems.append("openapi: not 3.1")
        # Schemas keep their $refs to each other: each must lead somewhere.
        for reference in re.findall(r"'\$ref': '([^']+)'", repr(self.document)):
            self.resolve("schema", reference)
        return problems + self.problems


class Description:
    def __init__(self, path):
        self.document = yaml.safe_load(open(path, encoding="utf-8"))
        self.checked = set()  # (method, path template, status) seen

    def schema_of(self, method, path, status):
        """The schema of an answer, the path template it went to, or why there is none."""
        template = next((t for t in self.document["paths"] if re.fullmatch(
            re.sub(r"\\{\w+\\}", "[^/]+", re.escape(t)), path)), None)
        operation = self.document["paths"].get(template, {}).get(method.lower())
        if operation is None:
            # A path or a method the interface does not have: answered with the Error.
            if path.startswith("/api/v1/"):
                expected = 405 if template else 404
                assert status == expected, f"{method} {path}: {status}, not {expected}"
            return {"$ref": "#/components/schemas/Error"}, template
        responses = operation["responses"]
        answer = responses.get(str(status)) or responses.get(str(status)[0] + "XX")
        assert answer, f"{method} {template}: {status} is not described"
        if "$ref" in answer:
            answer = self.document["components"]["responses"][answer["$ref"].split("/")[-1]]
        return answer["content"]["application/json"]["schema"], template

    def validate(self, schema, value):
        resolver = jsonschema.RefResolver("", self.document)
        jsonschema.Draft202012Validator(schema, resolver=resolver).validate(value)

    def check_answer(self, method, path, status, body):
        """Raises AssertionError when the JSON answer is not as described."""
        schema, template = self.schema_of("GET" if method == "HEAD" else method,
                                          path.split("?")[0], status)
        try:
            self.validate(schema, body)
        except jsonschema.ValidationError as error:
            raise AssertionError(f"{method} {path} {status}: {error.message} at "
                                 f"{list(error.absolute_path)}") from None
        self.checked.add((method, template, status))

    def check_event(self, event):
        try:
            self.validate({"$ref": "#/components/schemas/WebhookEvent"}, event)
        except jsonschema.ValidationError as error:
            raise AssertionError(f"webhook event: {error.message}") from None


def main(args):
    if len(args) != 1:
        return __doc__
    description = Description(args[0])
    problems = Checker(description.document).check()
    for problem in problems:
        print("not OpenAPI 3.1:", problem)
    operations = sum(len(item) for item in description.document["paths"].values())
    if not problems:
        print(f"{args[0]}: OpenAPI 3.1 as published, {operations} operations")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
