"""The magnetic functions of the module against independent computations: form factors against
python3-periodictable, structure factors against a direct numpy summation over the cell built here
from symmetry operations applied by hand, the moment fit against scipy's least_squares on the same
model and on simulated data, the plan against its definition; the input refused by name; and the
command-line tool's magnetic commands on the same structure."""

import copy
import io
import math
import pickle
import subprocess

import numpy as np
import pytest

import vantrel
from conftest import CLI, need

periodictable = pytest.importorskip("periodictable")
optimize = pytest.importorskip("scipy.optimize")

P_MAG = 0.2695  # 1e-12 cm per Bohr magneton

# C 1 2/m 1 with its operations written out, so that the test applies them itself.
CIF = """data_test_monoclinic
_cell_length_a 9.80
_cell_length_b 5.60
_cell_length_c 6.10
_cell_angle_alpha 90
_cell_angle_beta 101.3
_cell_angle_gamma 90
_space_group_name_H-M_alt 'C 1 2/m 1'
loop_
_space_group_symop_operation_xyz
x,y,z
-x,y,-z
-x,-y,-z
x,-y,z
x+1/2,y+1/2,z
-x+1/2,y+1/2,-z
-x+1/2,-y+1/2,-z
x+1/2,-y+1/2,z
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_occupancy
_atom_site_B_iso_or_equiv
Fe1 Fe3+ 0.0 0.0 0.0 1.0 0.35
Ni1 Ni2+ 0.1820 0.0 0.3310 0.9 0.42
O1 O2- 0.3650 0.2410 0.1120 1.0 0.61
O2 O2- 0.0930 0.5 0.7770 1.0 0.55
"""
SITES = [("Fe1", "Fe3+"), ("Ni1", "Ni2+", 2.2)]
ELEMENT = {"Fe1": "Fe", "Ni1": "Ni", "O1": "O", "O2": "O"}


def ion_ff(name):
    symbol = name.rstrip("+-0123456789")
    charge = name[len(symbol):].rstrip("+")
    element = getattr(periodictable, symbol)
    return (element.ion[int(charge)] if charge else element).magnetic_ff[int(charge or 0)]


def reference_ff(name, s, g=2.0, kappa=1.0):
    q = 4 * np.pi * np.asarray(s) / kappa
    ff = ion_ff(name)
    return ff.j0_Q(q) + (2.0 / g - 1.0) * ff.j2_Q(q)


@pytest.mark.parametrize("ion, g, kappa", [
    ("Fe3+", 2.0, 1.0), ("Fe2+", 2.0, 1.0), ("Mn2+", 2.0, 1.1), ("Ni2+", 2.2, 1.0),
    ("Co2+", 2.4, 0.95), ("Cu2+", 2.1, 1.0), ("Ho3+", 1.25, 1.0), ("Er3+", 1.2, 1.05),
    ("Ni", 2.0, 1.0), ("Gd3+", 2.0, 1.0)])
def test_form_factor_against_periodictable(ion, g, kappa):
    s = np.linspace(0.0, 1.2, 61)
    got = vantrel.magnetic_form_factor(ion, s, g, kappa)
    assert got.shape == s.shape
    np.testing.assert_allclose(got, reference_ff(ion, s, g, kappa), rtol=0, atol=1e-12)
    assert vantrel.magnetic_form_factor(ion, 0.3, g=g, kappa=kappa) == pytest.approx(
        reference_ff(ion, 0.3, g, kappa), abs=1e-12)
    two = vantrel.magnetic_form_factor(ion, s.reshape(61, 1), g, kappa)
    assert two.shape == (61, 1)


def test_form_factor_refusals():
    with pytest.raises(ValueError, match="Fe3\\+"):
        vantrel.magnetic_form_factor("Fe3", [0.1])
    with pytest.raises(ValueError, match="g"):
        vantrel.magnetic_form_factor("Fe3+", [0.1], g=-1.0)
    with pytest.raises(TypeError, match="argument 's'"):
        vantrel.magnetic_form_factor("Fe3+", ["a"])
    assert math.isnan(vantrel.magnetic_form_factor("Fe3+", -0.1))


# ---- Structure factors by hand ----------------------------------------------------------------

def parse_op(text):
    """x' = R x + t from an operation such as '-x+1/2,y+1/2,-z'."""
    R, t = np.zeros((3, 3)), np.zeros(3)
    for row, part in enumerate(text.split(",")):
        for term in part.replace("-", "+-").split("+"):
            if not term:
                continue
            sign = -1.0 if term.startswith("-") else 1.0
            term = term.lstrip("-")
            if term in "xyz":
                R[row, "xyz".index(term)] = sign
            else:
                num, den = term.split("/")
                t[row] += sign * float(num) / float(den)
    return R, t


def cif_table():
    lines = CIF.splitlines()
    ops = [parse_op(l) for l in lines[lines.index("_space_group_symop_operation_xyz") + 1:]
           if l and l[0] in "xyz-" and "," in l]
    sites = [l.split() for l in lines if l.split() and l.split()[0] in ELEMENT]
    items = {l.split()[0]: l.split()[1] for l in lines if l.startswith("_cell_")}
    cell = {k: float(items[name]) for k, name in (("a", "_cell_length_a"), ("b", "_cell_length_b"),
                                                  ("c", "_cell_length_c"),
                                                  ("beta", "_cell_angle_beta"))}
    return ops, sites, cell


def cell_atoms(ops, sites, cell):
    a, b, c, beta = cell["a"], cell["b"], cell["c"], math.radians(cell["beta"])
    G = np.array([[a * a, 0, a * c * math.cos(beta)], [0, b * b, 0],
                  [a * c * math.cos(beta), 0, c * c]])
    atoms = []
    for label, _, x, y, z, occ, B in sites:
        images = []
        for R, t in ops:
            r = (R @ np.array([float(x), float(y), float(z)]) + t) % 1.0
            close = False
            for other in images:
                d = (r - other + 0.5) % 1.0 - 0.5
                close = close or math.sqrt(d @ G @ d) < 0.05
            if not close:
                images.append(r)
        atoms += [(label, r, float(occ), float(B)) for r in images]
    return atoms, G


def direct_factors(hkl):
    ops, sites, cell = cif_table()
    atoms, G = cell_atoms(ops, sites, cell)
    hkl = np.asarray(hkl, dtype=float)
    s = 0.5 * np.sqrt(np.einsum("ni,ij,nj->n", hkl, np.linalg.inv(G), hkl))
    FN = np.zeros(len(hkl), complex)
    FM = {label: np.zeros(len(hkl), complex) for label, *_ in SITES}
    ions = {site[0]: site for site in SITES}
    for label, r, occ, B in atoms:
        phase = np.exp(2j * np.pi * hkl @ r) * occ * np.exp(-B * s * s)
        b = getattr(periodictable, ELEMENT[label]).neutron.b_c / 10.0  # fm to 1e-12 cm
        FN += b * phase
        if label in ions:
            site = ions[label]
            g = site[2] if len(site) > 2 else 2.0
            FM[label] += P_MAG * reference_ff(site[1], s, g) * phase
    return s, FN, FM


def test_structure_factors_against_direct_summation():
    got = vantrel.magnetic_reflections(CIF, SITES, moments=[3.1, -1.4], P=0.9, f=0.98,
                                       field=[0, 1, 0], s_max=0.6)
    hkl = np.column_stack([got["h"], got["k"], got["l"]])
    assert len(hkl) > 100 and got["allowed"].all()
    assert np.all((hkl[:, 0] + hkl[:, 1]) % 2 == 0)  # C centring
    s, FN, FM = direct_factors(hkl)
    np.testing.assert_allclose(got["s"], s, rtol=1e-12)
    # The scattering lengths of two tables of the same data: agree to their last printed digit.
    scale = np.abs(FN).max()
    np.testing.assert_allclose(got["FN"], FN, rtol=0, atol=2e-3 * scale)
    for label, _ in [site[:2] for site in SITES]:
        np.testing.assert_allclose(got["FM_per_muB_" + label], FM[label], rtol=0, atol=1e-9)
    total = 3.1 * FM["Fe1"] - 1.4 * FM["Ni1"]
    np.testing.assert_allclose(got["FM"], total, atol=1e-9)
    # R and A from the intensities written out.
    q2 = got["q2"]
    cross = (np.conj(got["FN"]) * got["FM"]).real
    Pf = (2 * 0.98 - 1) * 0.9
    plus = np.abs(got["FN"]) ** 2 + 2 * 0.9 * q2 * cross + q2 * np.abs(got["FM"]) ** 2
    minus = np.abs(got["FN"]) ** 2 - 2 * Pf * q2 * cross + q2 * np.abs(got["FM"]) ** 2
    field = q2 > 0  # along the field the beam states are one: no ratio
    # Six reflections lie along the field; each has q2 = 0 exactly, not a rounding above it.
    assert np.isnan(got["R"][~field]).all() and (~field).sum() == 6
    np.testing.assert_allclose(got["R"][field], (plus / minus)[field], rtol=1e-12)
    np.testing.assert_allclose(got["A"][field], ((plus - minus) / (plus + minus))[field],
                               rtol=1e-10, atol=1e-14)
    # q² for a field along b: 1 − (component of the scattering vector along b)².
    Gs = np.linalg.inv(np.array([[9.8 ** 2, 0, 9.8 * 6.1 * math.cos(math.radians(101.3))],
                                 [0, 5.6 ** 2, 0],
                                 [9.8 * 6.1 * math.cos(math.radians(101.3)), 0, 6.1 ** 2]]))
    along = (hkl[:, 1] / 5.6) ** 2 / np.einsum("ni,ij,nj->n", hkl, Gs, hkl)
    np.testing.assert_allclose(q2, 1 - along, atol=1e-12)


def test_reflections_given_and_forbidden():
    got = vantrel.magnetic_reflections(CIF, ["Fe1"], hkl=[[1, 0, 0], [2, 0, 0], [1, 1, 0]],
                                       q2=0.5, P=0.9, f=1.0)
    assert list(got["allowed"]) == [False, True, True]
    assert np.isnan(got["R"][0]) and got["FN"][0] == 0
    with pytest.raises(ValueError, match="row 2, is 000, not a reflection"):
        vantrel.magnetic_reflections(CIF, ["Fe1"], hkl=[[1, 1, 0], [0, 0, 0]], q2=0.5)
    frame = pytest.importorskip("pandas").DataFrame(got)
    assert list(frame.columns[:3]) == ["h", "k", "l"] and len(frame) == 3


def test_a_list_of_reflections_as_each_alone():
    # One table of phases for a list, rows per reflection for one alone or indices far apart:
    # the same numbers to the bit, forbidden rows kept in place.
    hkl = np.array([[1, 1, 0], [2, 0, 0], [-3, 1, 2], [1, 0, 0], [40, -22, 17], [0, 2, 0],
                    [4, 2, -1], [1, 1, 0]] + [[h, h % 3, -h] for h in range(-12, 13, 2) if h])
    for rows in (hkl, np.vstack([hkl, [[3001, -1999, 1]]])):
        got = vantrel.magnetic_reflections(CIF, SITES, moments=[3.1, -1.4], P=0.9, f=0.98,
                                           field=[0, 1, 0], hkl=rows)
        for i, row in enumerate(rows):
            one = vantrel.magnetic_reflections(CIF, SITES, moments=[3.1, -1.4], P=0.9, f=0.98,
                                               field=[0, 1, 0], hkl=row)
            for key in ("s", "q2", "FN", "FM_per_muB_Fe1", "FM_per_muB_Ni1", "FM", "R", "A",
                        "allowed"):
                np.testing.assert_array_equal(got[key][i], one[key][0], err_msg=f"{key} {row}")
        assert not got["allowed"][3] and got["FN"][3] == 0 and np.isnan(got["R"][3])


def test_a_long_list_in_parts_on_threads():
    # Long lists are cut into parts computed on the module's threads: the same numbers to the
    # bit on one thread and on several, each part with its own table of phases.
    rng = np.random.default_rng(11)
    hkl = rng.integers(-9, 10, size=(3 * 4096 + 17, 3))
    hkl[np.all(hkl == 0, axis=1)] = [1, 1, 0]
    before = vantrel.get_num_threads()
    try:
        got = {}
        for threads in (1, 2, 3):
            vantrel.set_num_threads(threads)
            got[threads] = vantrel.magnetic_reflections(CIF, SITES, moments=[3.1, -1.4], P=0.9,
                                                        f=0.98, field=[0, 1, 0], hkl=hkl)
    finally:
        vantrel.set_num_threads(before)
    for threads in (2, 3):
        for key in got[1]:
            np.testing.assert_array_equal(got[threads][key], got[1][key], err_msg=key)
    for i in (0, 4095, 4096, 8191, 8192, len(hkl) - 1):
        one = vantrel.magnetic_reflections(CIF, SITES, moments=[3.1, -1.4], P=0.9, f=0.98,
                                           field=[0, 1, 0], hkl=hkl[i])
        for key in one:
            np.testing.assert_array_equal(got[2][key][i], one[key][0], err_msg=f"{key} {i}")


# ---- The moment fit ---------------------------------------------------------------------------

def simulate(moments, seed, relative=0.01, s_max=0.5):
    got = vantrel.magnetic_reflections(CIF, SITES, moments=moments, P=0.92, f=0.97,
                                       field=[0, 1, 0], s_max=s_max)
    keep = np.isfinite(got["R"]) & (np.abs(got["FN"]) > 1e-6) & (got["q2"] > 0.05)
    keep &= (got["R"] > 0.5) & (got["R"] < 2.0)
    hkl = np.column_stack([got["h"], got["k"], got["l"]])[keep]
    sigma = relative * got["R"][keep]
    rng = np.random.default_rng(seed)
    return hkl, got["R"][keep] + rng.normal(0, sigma), sigma, got


def scipy_fit(hkl, R, sigma, start):
    factors = vantrel.magnetic_reflections(CIF, SITES, hkl=hkl, field=[0, 1, 0])
    FN, q2 = factors["FN"], factors["q2"]
    per = np.column_stack([factors["FM_per_muB_" + s[0]] for s in SITES])
    Pf = (2 * 0.97 - 1) * 0.92

    def residuals(mu):
        FM = per @ mu
        cross = (np.conj(FN) * FM).real
        mag = np.abs(FM) ** 2
        nuc = np.abs(FN) ** 2
        return ((nuc + 2 * 0.92 * q2 * cross + q2 * mag) / (nuc - 2 * Pf * q2 * cross + q2 * mag)
                - R) / sigma

    done = optimize.least_squares(residuals, start, xtol=1e-15, ftol=1e-15, gtol=1e-15)
    covariance = np.linalg.inv(done.jac.T @ done.jac)
    return done.x, np.sqrt(np.diag(covariance)), covariance, 2 * done.cost


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_fit_agrees_with_scipy_and_recovers_the_moments(seed):
    truth = np.array([2.6, 1.1])
    hkl, R, sigma, _ = simulate(truth, seed)
    fit = vantrel.fit_moments(CIF, SITES, hkl, R, sigma, P=0.92, f=0.97, field=[0, 1, 0],
                              start=[1.5, 0.5])
    assert fit["converged"], fit["message"]
    x, dev, cov, chi2 = scipy_fit(hkl, R, sigma, [1.5, 0.5])
    np.testing.assert_allclose(fit["moments"], x, rtol=1e-7)
    np.testing.assert_allclose(fit["deviations"], dev, rtol=1e-5)
    rho = cov[0, 1] / (dev[0] * dev[1])
    np.testing.assert_allclose(fit["correlation"], [[1, rho], [rho, 1]], atol=1e-6)
    assert fit["chi_square"] == pytest.approx(chi2, rel=1e-7)
    assert fit["reduced_chi_square"] == pytest.approx(chi2 / (len(R) - 2), rel=1e-7)
    assert np.all(np.abs(fit["moments"] - truth) < 3.5 * fit["deviations"])
    table = fit["reflections"]
    np.testing.assert_allclose(table["residual"], (table["R"] - table["R_calc"]) / table["sigmaR"])
    assert fit["sites"] == ["Fe1", "Ni1"] and fit["left_out"] == []


def test_fit_from_a_dataframe_names_what_it_leaves_out():
    pandas = pytest.importorskip("pandas")
    hkl, R, sigma, _ = simulate([2.0, 0.8], 5)
    frame = pandas.DataFrame({"h": hkl[:, 0], "k": hkl[:, 1], "l": hkl[:, 2], "R": R,
                              "sigmaR": sigma})
    frame = pandas.concat([frame, pandas.DataFrame(
        {"h": [1, 0], "k": [0, 2], "l": [0, 0], "R": [1.1, 1.2], "sigmaR": [0.01, 0.01]})])
    fit = vantrel.fit_moments(CIF, SITES, frame, P=0.92, f=0.97, field=[0, 1, 0])
    plain = vantrel.fit_moments(CIF, SITES, hkl, R, sigma, P=0.92, f=0.97, field=[0, 1, 0])
    np.testing.assert_allclose(fit["moments"], plain["moments"], rtol=1e-10)
    assert len(fit["left_out"]) == 2
    assert "reflection 1 0 0: forbidden" in fit["left_out"][0]
    assert "reflection 0 2 0: q2 = 0" in fit["left_out"][1]


@pytest.mark.parametrize("change, error, says", [
    (dict(sigmaR=-1.0), ValueError, "sigma of R"),
    (dict(P=1.5), ValueError, "polarisation"),
    (dict(f=0.0), ValueError, "flipper"),
    (dict(sites=[("Fe9", "Fe3+")]), ValueError, "Fe1"),
    (dict(sites=[("Fe1", "Fe3")]), ValueError, "Fe3\\+"),
    (dict(R=["x"]), TypeError, "argument 'R'"),
    (dict(hkl=[[1.5, 1, 1]]), ValueError, "whole index"),
    (dict(cif="data_x\n_cell_length_a 5\n"), ValueError, ""),
    (dict(field=None), TypeError, "field"),
])
def test_fit_refusals(change, error, says):
    args = dict(cif=CIF, sites=SITES, hkl=[[1, 1, 0]], R=[1.2], sigmaR=0.01, P=0.9, f=0.98,
                field=[0, 1, 0])
    args.update(change)
    with pytest.raises(error, match=says):
        vantrel.fit_moments(**args)


def test_cif_from_a_path(tmp_path):
    path = tmp_path / "test.cif"
    path.write_text(CIF)
    by_path = vantrel.magnetic_reflections(path, ["Fe1"], q2=1.0, s_max=0.3)
    by_text = vantrel.magnetic_reflections(CIF, ["Fe1"], q2=1.0, s_max=0.3)
    np.testing.assert_array_equal(by_path["R"], by_text["R"])
    with pytest.raises(ValueError):
        vantrel.magnetic_reflections(str(tmp_path / "missing.cif"), ["Fe1"], q2=1.0, s_max=0.3)


def test_a_structure_read_once(tmp_path):
    path = tmp_path / "test.cif"
    path.write_text(CIF)
    for source in (CIF, path, str(path)):
        structure = vantrel.Structure(source)
        assert structure.name == "test_monoclinic"
        assert structure.labels == ("Fe1", "Ni1", "O1", "O2")
        assert structure.cell == (9.8, 5.6, 6.1, 90.0, 101.3, 90.0)
        assert structure.space_group == "from its operations" and structure.operations == 8
    assert repr(structure) == ("<vantrel.Structure test_monoclinic: from its operations, 4 sites, "
                              "8 operations>")
    with pytest.raises(ValueError, match=r"^Structure\(cif\): .*missing\.cif"):
        vantrel.Structure(str(tmp_path / "missing.cif"))
    with pytest.raises(TypeError):
        vantrel.Structure()


def test_a_structure_pickles_as_its_text(tmp_path):
    # A structure sent to another process is read there from the CIF's text, not from a file
    # that may not be there.
    path = tmp_path / "test.cif"
    path.write_bytes(CIF.encode() + b"# \xe9 latin-1, not UTF-8\n")
    for structure in (vantrel.Structure(CIF), vantrel.Structure(path)):
        copies = [pickle.loads(pickle.dumps(structure)), copy.deepcopy(structure)]
        path.unlink(missing_ok=True)
        for again in copies:
            assert again is not structure and repr(again) == repr(structure)
            assert again.cell == structure.cell and again.labels == structure.labels
            for key, values in vantrel.magnetic_reflections(again, SITES, q2=0.7,
                                                            s_max=0.4).items():
                np.testing.assert_array_equal(
                    values, vantrel.magnetic_reflections(CIF, SITES, q2=0.7, s_max=0.4)[key])
    with pytest.raises(ValueError, match="Structure"):
        vantrel._restore_structure(b"data_x\n_cell_length_a 5\n")


def test_a_structure_gives_what_its_cif_gives_whatever_the_sites_before():
    # The structure keeps the model of the sites it was last used with: each call must get its
    # own sites' model, also after another's, and the same bits as from the CIF itself.
    structure = vantrel.Structure(CIF)
    hkl, R, sigma, _ = simulate([2.0, 0.8], 7)
    for sites in (SITES, SITES, [("Fe1", "Fe3+")], [("Fe1", "Fe2+")], [("Ni1", "Ni2+", 2.2)],
                  [("Ni1", "Ni2+", 2.3)], [("Ni1", "Ni2+", 2.3, 0.9)], SITES[::-1], SITES):
        moments = [1.5, 0.5][:len(sites)]
        for call in (
                lambda cif: vantrel.magnetic_reflections(cif, sites, moments=moments, P=0.9,
                                                         f=0.98, field=[0, 1, 0], s_max=0.4),
                lambda cif: vantrel.fit_moments(cif, sites, hkl, R, sigma, P=0.92, f=0.97,
                                                field=[0, 1, 0])["moments"],
                lambda cif: vantrel.plan_measurements(cif, sites, moments, P=0.92, f=0.97,
                                                      field=[0, 1, 0], s_max=0.4)[0]):
            got, expected = call(structure), call(CIF)
            if isinstance(got, dict):
                assert got.keys() == expected.keys(), sites
                for key in got:
                    np.testing.assert_array_equal(got[key], expected[key], err_msg=f"{sites} {key}")
            else:
                np.testing.assert_array_equal(got, expected, err_msg=str(sites))
    with pytest.raises(ValueError, match="Fe9.*Fe1"):
        vantrel.fit_moments(structure, [("Fe9", "Fe3+")], hkl, R, sigma, field=[0, 1, 0])


# ---- The plan ----------------------------------------------------------------------------------

def test_plan_ranks_by_information_per_time():
    plan, left = vantrel.plan_measurements(CIF, SITES, [2.5, 1.0], P=0.92, f=0.97,
                                           field=[0, 1, 0], s_max=0.5)
    assert np.all(np.diff(plan["score"]) <= 0)
    assert all("left out" in message for message in left)
    got = vantrel.magnetic_reflections(CIF, SITES, moments=[2.5, 1.0], P=0.92, f=0.97,
                                       hkl=np.column_stack([plan["h"], plan["k"], plan["l"]]),
                                       field=[0, 1, 0])
    h = 1e-6
    score = 0.0
    for m in range(2):
        up, down = np.array([2.5, 1.0]), np.array([2.5, 1.0])
        up[m] += h
        down[m] -= h
        dR = (vantrel.magnetic_reflections(CIF, SITES, moments=up, P=0.92, f=0.97,
                                           hkl=np.column_stack([plan["h"], plan["k"], plan["l"]]),
                                           field=[0, 1, 0])["R"]
              - vantrel.magnetic_reflections(CIF, SITES, moments=down, P=0.92, f=0.97,
                                             hkl=np.column_stack([plan["h"], plan["k"], plan["l"]]),
                                             field=[0, 1, 0])["R"]) / (2 * h)
        spread = got["R"] * (1 / np.sqrt(plan["I_plus"]) + 1 / np.sqrt(plan["I_minus"]))
        np.testing.assert_allclose(plan["information_" + SITES[m][0]], (dR / spread) ** 2,
                                   rtol=1e-5, atol=1e-12)
        score = score + (dR / spread) ** 2
    np.testing.assert_allclose(plan["score"], score, rtol=1e-5, atol=1e-12)
    np.testing.assert_allclose(plan["R"], got["R"], rtol=1e-13)


# ---- The command-line tool ---------------------------------------------------------------------

def run(*args, stdin=""):
    need(CLI, "the command-line tool")
    return subprocess.run([CLI, *args], input=stdin, capture_output=True, text=True)


def test_cli_form_factor_and_suggestions():
    done = run("form-factor", "Ho3+", "--g", "1.25", "--csv", "-", stdin="s,x\n0.1,a\n0.4,b\n")
    assert done.returncode == 0, done.stderr
    rows = [line.split(",") for line in done.stdout.splitlines()]
    assert rows[0] == ["s", "x", "f"]
    for row in rows[1:]:
        assert float(row[2]) == pytest.approx(reference_ff("Ho3+", float(row[0]), 1.25), abs=1e-12)
    done = run("form-factor", "Ho3", "0.1")
    assert done.returncode != 0 and "Ho3+" in done.stderr


def test_cli_flipping_ratios_and_fit_agree_with_the_module(tmp_path):
    cif = tmp_path / "s.cif"
    cif.write_text(CIF)
    done = run("flipping-ratios", "--cif", str(cif), "--site", "Fe1:Fe3+", "--site", "Ni1:Ni2+:2.2",
               "--moment", "3.1", "--moment", "-1.4", "--P", "0.9", "--f", "0.98",
               "--field", "0,1,0", "--s-max", "0.4")
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    header = lines[0].split(",")
    values = np.array([[float(x) for x in line.split(",")] for line in lines[1:]])
    got = vantrel.magnetic_reflections(CIF, SITES, moments=[3.1, -1.4], P=0.9, f=0.98,
                                       field=[0, 1, 0], s_max=0.4)
    np.testing.assert_array_equal(values[:, header.index("R")], got["R"])

    hkl, R, sigma, _ = simulate([2.6, 1.1], 4)
    table = "h,k,l,R,sigmaR\n" + "".join(
        f"{a},{b},{c},{r!r},{s!r}\n" for (a, b, c), r, s in zip(hkl, R, sigma))
    done = run("moment-fit", "--cif", str(cif), "--site", "Fe1:Fe3+", "--site", "Ni1:Ni2+:2.2",
               "--P", "0.92", "--f", "0.97", "--field", "0,1,0", "--csv", "-", stdin=table)
    assert done.returncode == 0, done.stderr
    fit = vantrel.fit_moments(CIF, SITES, hkl, R, sigma, P=0.92, f=0.97, field=[0, 1, 0])
    rows = [line.split(",") for line in done.stdout.splitlines()]
    assert rows[0] == ["site", "moment", "sigma", "rho_Fe1", "rho_Ni1"]
    assert [float(rows[1][1]), float(rows[2][1])] == pytest.approx(fit["moments"], rel=1e-12)
    assert "reduced chi-square" in done.stderr

    done = run("moment-fit", "--cif", str(cif), "--site", "Fe2", "--csv", "-", stdin=table)
    assert done.returncode != 0 and "Fe1" in done.stderr
    done = run("plan-measurements", "--cif", str(cif), "--site", "Fe1", "--moment", "2",
               "--q2", "1", "--s-max", "0.3")
    assert done.returncode == 2 and "unknown option" in done.stderr
    done = run("help", "moment-fit")
    assert done.returncode == 0 and "--site" in done.stdout
