#!/usr/bin/env python3
"""Keeps docs/openrpc.json, docs/protocol.md and examples/sessions true to the driver.

Usage: check_protocol.py DRIVER SOURCE_DIR

The document must name exactly the methods of the driver's method table and the action types
of its action table and of "system.capabilities"; real answers of the driver, over the
example desktops, to every method and action, answered and refused, must pass its schemas;
every method and action must have a section in protocol.md whose JSON examples pass them too;
every example session must be answered line by line without a JSON-RPC error, except where a
line's id says it is there to show one.
"""

import glob
import json
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from cases import run_all  # noqa: E402
from protocol import Document, Driver  # noqa: E402


class Report:
    def __init__(self):
        self.problems = []
        self.outcomes = set()
        self.capabilities = []

    def problem(self, text):
        self.problems.append(text)

    def seen(self, name, outcome):
        self.outcomes.add((name, outcome))


def table_names(path, pattern):
    with open(path, encoding="utf-8") as file:
        return re.findall(pattern, file.read())


def table_entries(path, table):
    """The names of a dispatch table: the first string of each of its rows."""
    with open(path, encoding="utf-8") as file:
        text = file.read()
    body = re.search(table + r"\[\] = \{(.*?)\n\};", text, re.S)
    return re.findall(r'^\s*\{"([^"]+)",', body.group(1), re.M) if body else []


def check_structure(doc, source, report):
    methods = table_entries(f"{source}/Dorvex/Methods.cpp", "methodTable")
    actions = table_entries(f"{source}/Dorvex/Actions.cpp", "actionTable")
    if not methods or not actions:
        report.problem("the method or action table could not be read from the source")
    for name in sorted(set(methods) ^ set(doc.methods)):
        where = "the driver" if name in methods else "the document"
        report.problem(f"method {name} is only in {where}")
    for name in sorted(set(actions) ^ set(doc.action_types())):
        where = "the driver" if name in actions else "the document"
        report.problem(f"action {name} is only in {where}")
    for name, method in doc.methods.items():
        if not method.get("description") or "schema" not in method.get("result", {}):
            report.problem(f"method {name} lacks a description or a result schema")
        for param in method["params"]:
            if not {"name", "required", "schema"} <= param.keys():
                report.problem(f"param {param} of {name} lacks name, required or schema")
    for action in doc.action_types():
        schema = doc.schemas["action." + action]
        if schema.get("properties", {}).get("actionType", {}).get("const") != action:
            report.problem(f"action.{action} does not fix its actionType")
        if not schema.get("description") or schema.get("additionalProperties") is not False:
            report.problem(f"action.{action} lacks a description or admits unknown keys")
        for other in ("result.", "failure."):
            if other + action not in doc.schemas:
                report.problem(f"{other}{action} is missing")
    check_failure_names(doc, source, report)
    choices = doc.methods["automation.execute"]["params"][0]["schema"]["oneOf"]
    offered = sorted(choice.get("$ref", "") for choice in choices)
    if offered != sorted("#/components/schemas/action." + t for t in doc.action_types()):
        report.problem("automation.execute's action param does not offer exactly every action")


def check_failure_names(doc, source, report):
    """Every status and code an action can fail with is one the document lists."""
    pairs = table_names(f"{source}/Dorvex/ActionResults.cpp", r'return \{"(\w+)", "(\w+)",')
    pairs += table_names(f"{source}/DorvexCore/DriverProtocol.cpp", r'= \{"(\w+)", "(\w+)",')
    if len(pairs) < 10:
        report.problem("the failures could not be read from the source")
    statuses = set(doc.schemas["envelope.failure"]["properties"]["status"]["enum"])
    codes = set()
    for action in doc.action_types():
        for part in doc.schemas["failure." + action].get("allOf", []):
            codes.update(part.get("properties", {}).get("error", {}).get("properties", {})
                         .get("code", {}).get("enum", []))
    for status, code in pairs:
        if status not in statuses or code not in codes:
            report.problem(f"failure {status}/{code} of the driver is not in the document")


def check_coverage(doc, report):
    if report.capabilities != doc.action_types():
        report.problem(f"system.capabilities lists {report.capabilities}, "
                       f"the document {doc.action_types()} (same order expected)")
    for name in list(doc.methods) + doc.action_types():
        if (name, "success") not in report.outcomes:
            report.problem(f"{name} was never answered with success")
    for action in doc.action_types():
        fails = doc.schemas["failure." + action].get("not") is None
        if fails and (action, "failure") not in report.outcomes:
            report.problem(f"{action} was never answered with a failure")
    for name, method in doc.methods.items():
        refusals = [e for e in method.get("errors", []) if "UnhandledDriverError" not in e.get("$ref", "")]
        if refusals and (name, "failure") not in report.outcomes:
            report.problem(f"{name} was never refused")


def json_blocks(text):
    return re.findall(r"```json\n(.*?)```", text, re.S)


def check_reference(doc, source, report):
    """Every method and action has a section; every request and answer shown passes."""
    path = f"{source}/docs/protocol.md"
    if not os.path.exists(path):
        return report.problem("docs/protocol.md is missing")
    with open(path, encoding="utf-8") as file:
        text = file.read()
    headings = set(re.findall(r"^#+ `([\w.]+)`", text, re.M))
    for name in list(doc.methods) + doc.action_types():
        if name not in headings:
            report.problem(f"protocol.md has no section headed `{name}`")
    for block in json_blocks(text):
        requests = {}
        for message in json_values(block, report):
            if "method" in message:
                errors = doc.check_params(message["method"], message.get("params", {}))
                requests[message.get("id")] = (message["method"], errors)
            elif message.get("id") in requests:
                method, param_errors = requests[message["id"]]
                for error in doc.check_answer(method, message):
                    report.problem(f"protocol.md answer {str(message)[:120]}: {error}")
                # A request shown to be refused may break the schema; any other must pass it.
                if param_errors and not refused(message):
                    report.problem(f"protocol.md request {message['id']}: {param_errors}")
            else:
                report.problem(f"protocol.md: an answer without its request: {str(message)[:120]}")


def refused(answer):
    result = answer.get("result", {})
    return "error" in answer or result.get("status") in ("invalid_params", "not_implemented")


def json_values(block, report):
    """The JSON values of a block, one after another, each on one line or spread over several."""
    decoder = json.JSONDecoder()
    position = 0
    while True:
        while position < len(block) and block[position].isspace():
            position += 1
        if position == len(block):
            return
        try:
            value, position = decoder.raw_decode(block, position)
        except ValueError:
            report.problem(f"protocol.md: not JSON: {block[position:position + 120]}")
            return
        yield value


def check_sessions(doc, binary, source, report):
    paths = sorted(glob.glob(f"{source}/examples/sessions/*.jsonl"))
    if not paths:
        report.problem("examples/sessions holds no session")
    for path in paths:
        name = os.path.basename(path)
        driver = Driver(binary)
        methods = {}
        param_errors = {}
        with open(path, encoding="utf-8") as file:
            for line in file:
                request = json.loads(line)
                methods[request["id"]] = request["method"]
                param_errors[request["id"]] = doc.check_params(request["method"], request.get("params", {}))
                driver.send(line.rstrip("\n"))
        # Input stays open until every line is answered: at its end, running scripts stop.
        answers = [driver.answer(request_id, timeout=30) for request_id in methods]
        late, status, stderr = driver.finish()
        if late or None in answers:
            report.problem(f"{name}: unanswered or unasked-for lines: {answers} {late}")
            answers = [answer for answer in answers if answer]
        if status != 0 or stderr:
            report.problem(f"{name}: exit {status}, standard error {stderr[:200]!r}")
        for answer in answers:
            method = methods.get(answer["id"], "?")
            for error in doc.check_answer(method, answer):
                report.problem(f"{name} {answer['id']}: {error}")
            # Lines that are there to show a JSON-RPC error say so in their id.
            if "error" in answer and not answer["id"].startswith("error"):
                report.problem(f"{name} {answer['id']}: unexpected error {answer['error']}")
            if "error" not in answer and answer["id"].startswith("error"):
                report.problem(f"{name} {answer['id']}: meant to show an error, answered {answer}")
            if param_errors[answer["id"]] and not refused(answer):
                report.problem(f"{name} {answer['id']}: params break the document: {param_errors[answer['id']]}")


def check_readme_session(doc, source, report):
    """The README's example session asks only what the document describes (a misspelt
    parameter would otherwise be ignored silently)."""
    with open(f"{source}/examples/session.jsonl", encoding="utf-8") as file:
        for line in file:
            request = json.loads(line)
            if request["method"] in doc.methods:
                for error in doc.check_params(request["method"], request.get("params", {})):
                    report.problem(f"examples/session.jsonl {request['id']}: {error}")


def main():
    binary, source = sys.argv[1], sys.argv[2]
    doc = Document(f"{source}/docs/openrpc.json")
    report = Report()
    check_structure(doc, source, report)
    run_all(doc, binary, f"{source}/examples/scenarios", report)
    check_coverage(doc, report)
    check_reference(doc, source, report)
    check_sessions(doc, binary, source, report)
    check_readme_session(doc, source, report)
    for problem in report.problems:
        print("FAIL:", problem)
    print(f"{len(report.problems)} problems; {len(report.outcomes)} method/action outcomes seen")
    return 1 if report.problems else 0


if __name__ == "__main__":
    sys.exit(main())
