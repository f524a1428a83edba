// Builds fixture results in the kelvo-report --json shape.
.pragma library

function item(name, bytes, tier) {
    return { name: name, bytes: bytes === undefined ? null : bytes, tier: tier || "signalOnly" }
}

function report(kind, detected, items, extra) {
    const r = { kind: kind, detected: detected, items: items || [], quickWins: [] }
    for (const key in (extra || {}))
        r[key] = extra[key]
    return r
}

function json(managers, delaysMs) {
    return JSON.stringify({ managers: managers, delaysMs: delaysMs || {} })
}
